#include "QtHost.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMimeData>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "ErrorRecord.h"
#include "TextCodec.h"

namespace pellomar::platform {

namespace {

// Qt keeps references to argc and argv for the application's whole life. dovlek's own
// arguments are not passed on: Qt would take «-style x» or «-platform y» for itself.
int qtArgc = 1;
char qtProgramName[] = "dovlek";
char* qtArgv[] = {qtProgramName, nullptr};

// Deleted only by stopApplication, never at exit: a process that showed a box in Wayland
// clipboard mode, or that served the X11 clipboard, ends without Qt's teardown.
QGuiApplication* application = nullptr;
DesktopKind currentDesktop = DesktopKind::X11;

// Start-up trims for clipboard mode, which shows nothing. Without the desktop's name Qt loads no
// desktop theme plugin: under GNOME the gtk3 theme alone loads GTK and doubles the start-up
// time. No XInput2 device list, no RandR screen query, no input method (ibus talks over D-Bus;
// the compose tables take milliseconds to parse). All are put back before a box needs the full
// desktop.
struct Trim {
    const char* name;
    const char* value;  // nullptr: removed from the environment
};
constexpr Trim kClipboardTrims[] = {
    {"XDG_CURRENT_DESKTOP", nullptr},  {"DESKTOP_SESSION", nullptr},
    {"KDE_FULL_SESSION", nullptr},     {"GNOME_DESKTOP_SESSION_ID", nullptr},
    {"QT_QPA_PLATFORMTHEME", nullptr}, {"QT_XCB_NO_XI2", "1"},
    {"QT_XCB_NO_XRANDR", "1"},         {"QT_IM_MODULE", "none"},
};
struct SavedVariable {
    const char* name;
    bool wasSet;
    QByteArray value;
};
std::vector<SavedVariable> savedVariables;

void trimVariable(const char* name, const char* value) {
    savedVariables.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    if (value != nullptr) {
        qputenv(name, value);
    } else {
        qunsetenv(name);
    }
}

void applyTrims() {
    for (const Trim& trim : kClipboardTrims) trimVariable(trim.name, trim.value);
    // No plugin directories: reading a clipboard's text made Qt list every image format plugin
    // (and load the JPEG one) in case the text was an image. The platform plugin is then found
    // through its own directory. Someone who names that directory keeps the usual search as the
    // fallback Qt makes when it is not there. Qt forgets the paths set here with the
    // application; the next one gets the defaults.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM_PLUGIN_PATH")) {
        const QByteArray platforms =
            QFile::encodeName(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
        trimVariable("QT_QPA_PLATFORM_PLUGIN_PATH", platforms.constData());
        QCoreApplication::setLibraryPaths({});
    }
    QGuiApplication::setDesktopSettingsAware(false);
}

void undoTrims() {
    for (const SavedVariable& saved : savedVariables) {
        if (saved.wasSet) {
            qputenv(saved.name, saved.value);
        } else {
            qunsetenv(saved.name);
        }
    }
    savedVariables.clear();
    QGuiApplication::setDesktopSettingsAware(true);
}

// In the detached clipboard process standard error is /dev/null. Qt's own warnings are kept,
// and when Qt gives up (no display to connect to, say) they go to the parent with the reason.
std::vector<std::string>& keptQtWarnings() {
    static std::vector<std::string> kept;
    return kept;
}

void forwardFatalQtMessages(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    std::string text = message.toStdString();
    if (context.category != nullptr && std::string_view(context.category) != "default") {
        text = std::string(context.category) + ": " + text;
    }
    if (type != QtFatalMsg && type != QtCriticalMsg) {
        auto& kept = keptQtWarnings();
        if (kept.size() == 8) kept.erase(kept.begin());
        kept.push_back(std::move(text));
        return;
    }
    for (const std::string& warning : keptQtWarnings()) printDiagnostic(warning);
    keptQtWarnings().clear();
    printDiagnostic(text);
}

void usePlatform(DesktopKind kind) {
    currentDesktop = kind;
    // The desktop chosen by detectDesktop, not whatever the environment would pick: with both
    // DISPLAY and WAYLAND_DISPLAY set, Qt itself would go to Wayland.
    qputenv("QT_QPA_PLATFORM", qtPlatformName(kind));
}

}  // namespace

void startClipboardApplication(DesktopKind kind) {
    if (application) return;
    usePlatform(kind);
    qInstallMessageHandler(forwardFatalQtMessages);
    applyTrims();
    application = new QGuiApplication(qtArgc, qtArgv);
}

QtArguments prepareApplication(DesktopKind kind) {
    usePlatform(kind);
    undoTrims();
    return {qtArgc, qtArgv};
}

void adoptApplication(QGuiApplication* created) {
    application = created;
}

DesktopKind applicationDesktop() {
    return currentDesktop;
}

void stopApplication() {
    delete application;
    application = nullptr;
    undoTrims();
}

std::optional<std::u16string> QtClipboard::text() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return lfToCrLf(data->text().toStdU16String());
}

void QtClipboard::clear() {
    // On X11 clearing means making no client the owner, and the write that follows makes this
    // one the owner; taking ownership already replaces the old content. Doing the two as one
    // step keeps the clipboard from being empty in between, and lets the previous owner see
    // the new content: a clipboard manager like xclipboard learns of it from losing
    // ownership, and if the clear took ownership away first, it would miss the result.
}

namespace {

// Whether one of this client's windows really owns the CLIPBOARD selection. Qt only remembers
// that it asked: when another client took the selection with a later timestamp between our
// read and our write (two presses of the hotkey at once, say), the server ignores our request,
// Qt still believes it owns the clipboard, and the serving process would wait forever for a
// change that never reaches it. The server's answer settles it.
bool serverSaysWeOwn() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard()) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return true;
    xcb_connection_t* c = x11->connection();
    static const xcb_atom_t atom = [c] {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 9, "CLIPBOARD"), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_NONE};
    }();
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr), &std::free);
    if (!owner) return true;  // no answer: keep Qt's view rather than guess
    // Every window this client creates carries the client's resource id base.
    const xcb_setup_t* setup = xcb_get_setup(c);
    return owner->owner != XCB_NONE &&
           (owner->owner & ~setup->resource_id_mask) == setup->resource_id_base;
}

}  // namespace

void QtClipboard::setText(const std::u16string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QString::fromStdU16String(crLfToLf(text)), QClipboard::Clipboard);
    if (!clipboard->ownsClipboard()) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "the clipboard could not be taken; the result was not written");
    }
}

bool QtClipboard::owned() const {
    return serverSaysWeOwn();
}

void serveClipboardUntilTaken() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto stopWhenTaken = [] {
        if (!serverSaysWeOwn()) QCoreApplication::quit();
    };
    if (!serverSaysWeOwn()) return;
    QObject::connect(clipboard, &QClipboard::changed, clipboard,
                     [stopWhenTaken](QClipboard::Mode mode) {
                         if (mode == QClipboard::Clipboard) stopWhenTaken();
                     });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, clipboard, stopWhenTaken);
    poll.start(500);
    QCoreApplication::exec();
}

}  // namespace pellomar::platform
