#include "QtHost.h"

#include <QApplication>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Diagnostics.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

namespace {

// Qt keeps references to argc and argv for the application's whole life. dovlek's own
// arguments are not passed on: Qt would take «-style x» or «-platform y» for itself.
int qtArgc = 1;
char qtProgramName[] = "dovlek";
char* qtArgv[] = {qtProgramName, nullptr};

// Deleted only by stopApplication, never at exit.
QApplication* application = nullptr;

// The Qt platform plugin for a desktop.
const char* qtPlatformName(DesktopKind kind) {
    return kind == DesktopKind::Wayland ? "wayland" : "xcb";
}

// Qt's warnings are kept quiet unless Qt gives up: the reason (no display to connect to, say)
// is often a warning just before the fatal message, so the last few are told with it.
std::vector<std::string>& recentWarnings() {
    static std::vector<std::string> kept;
    return kept;
}

void handleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::string text = message.toStdString();
    if (context.category != nullptr && std::string_view(context.category) != "default") {
        text = std::string(context.category) + ": " + text;
    }
    if (type != QtFatalMsg) {
        auto& kept = recentWarnings();
        if (kept.size() == 4) kept.erase(kept.begin());
        kept.push_back(std::move(text));
        return;
    }
    std::string why;
    for (const std::string& warning : recentWarnings()) why += warning + "; ";
    printDiagnostic(formatError({static_cast<std::int32_t>(ErrorNumber::PathFileAccessError),
                                 std::string(errorTitle(ErrorNumber::PathFileAccessError)) +
                                     ": the desktop cannot be used: " + why + text}));
    std::_Exit(2);
}

// Without a session bus address, the D-Bus library that Qt loads (for accessibility and the
// platform theme) starts dbus-launch, whose bus daemon outlives dovlek and writes under the home
// directory: a tool that leaves a box or a window must leave nothing else behind. An address
// whose socket cannot exist makes every such connection fail at once, and Qt carries on without
// a bus, as it does on any desktop that has none.
void noBusWithoutASession() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-session-bus");
    }
}

}  // namespace

void installFatalMessageHandler() {
    qInstallMessageHandler(handleQtMessage);
}

void startApplication(DesktopKind kind) {
    if (QCoreApplication::instance() != nullptr) return;
    installFatalMessageHandler();
    // The desktop chosen by detectDesktop, not whatever the environment would pick: with both
    // DISPLAY and WAYLAND_DISPLAY set, Qt itself would go to Wayland.
    qputenv("QT_QPA_PLATFORM", qtPlatformName(kind));
    noBusWithoutASession();
    application = new QApplication(qtArgc, qtArgv);
}

int execApplication() {
    return QCoreApplication::exec();
}

void stopApplication() {
    delete application;
    application = nullptr;
}

}  // namespace pellomar::platform
