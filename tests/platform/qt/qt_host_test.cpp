// The desktop module's Qt application: when Qt gives up, the process ends with a line on standard
// error and status 2, never with abort() and a core dump.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "QtHost.h"

namespace pellomar::platform {
namespace {

TEST(qt_host_test, a_fatal_qt_message_ends_with_status_2_and_says_why) {
    EXPECT_EXIT(
        {
            installFatalMessageHandler();
            qWarning("could not connect to display :69");
            qFatal("no Qt platform plugin could be initialized");
        },
        testing::ExitedWithCode(2),
        "Pellomar: 75:Path/File access error: the desktop cannot be used: could not connect to "
        "display :69; no Qt platform plugin could be initialized");
}

}  // namespace
}  // namespace pellomar::platform
