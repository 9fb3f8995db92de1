// Clipboard mode's application on a real X server (run by x11_e2e.sh --run): the start-up trims
// apply while it runs and are undone when it stops, so that a box shown afterwards gets the
// user's full desktop (theme, input method, plugins).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>

#include <cstdlib>
#include <optional>
#include <string>

#include "QtHost.h"

namespace pellomar::platform {
namespace {

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

class ClipboardApplication : public ::testing::Test {
  protected:
    void SetUp() override {
        if (env("DISPLAY").value_or("").empty()) GTEST_SKIP() << "needs an X server";
        // What a desktop session might set.
        ::setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        ::setenv("QT_IM_MODULE", "ibus", 1);
        ::unsetenv("QT_XCB_NO_XI2");
        ::unsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
    }
    void TearDown() override { stopApplication(); }
};

TEST_F(ClipboardApplication, TrimsHoldWhileItRunsAndAreUndoneWhenItStops) {
    const QStringList pathsBefore = QCoreApplication::libraryPaths();
    const QString systemPlugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
    ASSERT_TRUE(pathsBefore.contains(systemPlugins));

    startClipboardApplication(DesktopKind::X11);
    EXPECT_EQ(QGuiApplication::platformName(), "xcb");
    EXPECT_EQ(env("XDG_CURRENT_DESKTOP"), std::nullopt);
    EXPECT_EQ(env("QT_IM_MODULE"), "none");
    EXPECT_EQ(env("QT_XCB_NO_XI2"), "1");
    EXPECT_EQ(env("QT_QPA_PLATFORM_PLUGIN_PATH"), (systemPlugins + "/platforms").toStdString());
    EXPECT_FALSE(QCoreApplication::libraryPaths().contains(systemPlugins));
    EXPECT_FALSE(QGuiApplication::desktopSettingsAware());

    stopApplication();
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(env("XDG_CURRENT_DESKTOP"), "GNOME");
    EXPECT_EQ(env("QT_IM_MODULE"), "ibus");
    EXPECT_EQ(env("QT_XCB_NO_XI2"), std::nullopt);
    EXPECT_EQ(env("QT_QPA_PLATFORM_PLUGIN_PATH"), std::nullopt);
    EXPECT_EQ(QCoreApplication::libraryPaths(), pathsBefore);
    EXPECT_TRUE(QGuiApplication::desktopSettingsAware());
}

// A directory the user names may lack the platform plugin; Qt then looks in the plugin
// directories, so those stay.
TEST_F(ClipboardApplication, KeepsThePlatformPluginDirectoryTheUserNames) {
    const std::string own = "/nonexistent/platforms";
    ::setenv("QT_QPA_PLATFORM_PLUGIN_PATH", own.c_str(), 1);
    startClipboardApplication(DesktopKind::X11);
    EXPECT_EQ(QGuiApplication::platformName(), "xcb");
    EXPECT_EQ(env("QT_QPA_PLATFORM_PLUGIN_PATH"), own);
    stopApplication();
    EXPECT_EQ(env("QT_QPA_PLATFORM_PLUGIN_PATH"), own);
}

// A second application in the same process, as after a box: the first one's trims do not pile
// up on the saved values.
TEST_F(ClipboardApplication, StartsAgainAfterStopping) {
    startClipboardApplication(DesktopKind::X11);
    stopApplication();
    startClipboardApplication(DesktopKind::X11);
    EXPECT_EQ(QGuiApplication::platformName(), "xcb");
    stopApplication();
    EXPECT_EQ(env("XDG_CURRENT_DESKTOP"), "GNOME");
    EXPECT_EQ(env("QT_IM_MODULE"), "ibus");
}

}  // namespace
}  // namespace pellomar::platform
