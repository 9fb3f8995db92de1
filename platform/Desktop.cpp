#include "Desktop.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "DesktopModule.h"
#include "ErrorRecord.h"
#include "Host.h"
#include "TextCodec.h"

extern char** environ;

namespace pellomar::platform {

namespace {

bool envSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

[[noreturn]] void throwSystemError(const std::string& what, int err) {
    throw MorvantError(ErrorNumber::PathFileAccessError, what + ": " + std::strerror(err));
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, p, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Reads exactly size bytes; false at end of file or on an error.
bool readAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

std::string readToEnd(int fd) {
    std::string bytes;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

// The report pipe of a detached child; -1 in every other process.
int reportFd = -1;

// Frames on the report pipe: a kind byte, then a 32-bit length or status.
constexpr char kMessageFrame = 'M';
constexpr char kStatusFrame = 'S';

}  // namespace

DesktopKind detectDesktop() {
    if (envSet("DISPLAY")) return DesktopKind::X11;
    if (envSet("WAYLAND_DISPLAY")) return DesktopKind::Wayland;
    return DesktopKind::None;
}

const char* qtPlatformName(DesktopKind kind) {
    return kind == DesktopKind::Wayland ? "wayland" : "xcb";
}

namespace {
void (*diagnosticSink)(const std::string&) = nullptr;
}  // namespace

void setDiagnosticSink(void (*sink)(const std::string& text)) {
    diagnosticSink = sink;
}

void printDiagnostic(const std::string& text) {
    if (diagnosticSink != nullptr) {
        diagnosticSink(text);
        return;
    }
    const std::string line = std::string(kAppTitle) + ": " + text + "\n";
    if (reportFd >= 0) {
        const auto size = static_cast<std::uint32_t>(line.size());
        const bool sent = writeAll(reportFd, &kMessageFrame, 1) &&
                          writeAll(reportFd, &size, sizeof size) &&
                          writeAll(reportFd, line.data(), line.size());
        if (sent) return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void DetachedReport::finish(int status) {
    if (finished_) return;
    finished_ = true;
    const auto value = static_cast<std::int32_t>(status);
    // The parent may already be gone (killed by its caller); the child goes on regardless.
    (void)(writeAll(fd_, &kStatusFrame, 1) && writeAll(fd_, &value, sizeof value));
    ::close(fd_);
    reportFd = -1;
}

namespace {

// The child's standard streams go to /dev/null, so that a caller who reads dovlek's output
// through a pipe sees its end when the parent exits, not when the serving child does; every
// other inherited descriptor is closed for the same reason. The child keeps only the report pipe.
int detachChild(int reportPipe) {
    ::setsid();
    ::signal(SIGPIPE, SIG_IGN);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
    }
    const int fd = ::fcntl(reportPipe, F_DUPFD_CLOEXEC, 3);
    ::close_range(static_cast<unsigned>(fd) + 1, ~0U, 0);
    for (int other = 3; other < fd; ++other) ::close(other);
    return fd;
}

std::string describeWaitStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        const int sig = WTERMSIG(waitStatus);
        const char* name = ::sigabbrev_np(sig);
        return "killed by signal " + std::to_string(sig) +
               (name ? std::string(" (SIG") + name + ")" : "");
    }
    if (WIFEXITED(waitStatus))
        return "exited with status " + std::to_string(WEXITSTATUS(waitStatus));
    return "ended";
}

int waitForReport(int fd, pid_t child) {
    for (;;) {
        char kind = 0;
        if (!readAll(fd, &kind, 1)) break;
        if (kind == kStatusFrame) {
            std::int32_t status = 0;
            if (!readAll(fd, &status, sizeof status)) break;
            ::close(fd);
            // A failed request's child ends right away; reap it so that it never lingers.
            if (status != 0) ::waitpid(child, nullptr, 0);
            return status;
        }
        std::uint32_t size = 0;
        if (kind != kMessageFrame || !readAll(fd, &size, sizeof size)) break;
        std::string line(size, '\0');
        if (!readAll(fd, line.data(), size)) break;
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    ::close(fd);
    int waitStatus = 0;
    while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    printDiagnostic(
        formatError({static_cast<std::int32_t>(ErrorNumber::InternalError),
                     "Internal error: the clipboard process " + describeWaitStatus(waitStatus) +
                         " before it reported; the clipboard may be unchanged"}));
    return 2;
}

}  // namespace

int runDetached(const std::function<int(DetachedReport&)>& request) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throwSystemError("cannot create a pipe", errno);
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throwSystemError("cannot start the clipboard process", err);
    }
    if (pid == 0) {
        ::close(fds[0]);
        reportFd = detachChild(fds[1]);
        DetachedReport report(reportFd);
        int status = 2;
        try {
            status = request(report);
        } catch (...) {
            // The request handles its own errors; this is the last resort, without a box.
            printDiagnostic(formatError(recordFromCurrentException()));
        }
        report.finish(status);
        // No destructors: the toolkit's teardown is slow and nobody waits for it.
        ::_exit(status);
    }
    ::close(fds[1]);
    return waitForReport(fds[0], pid);
}

// ---- the desktop modules ----

namespace {

// Opens a module beside the executable and returns what its entry point gives.
template <typename Module>
const Module& loadModule(const char* file, const char* entryName) {
    const std::string path = (executableDirectory() / file).string();
    // RTLD_LOCAL: the module's copies of the engine and of this layer stay its own.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* error = handle == nullptr ? ::dlerror() : nullptr;
    using Entry = const Module* (*)();
    auto entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, entryName)) : nullptr;
    if (entry == nullptr) {
        throw MorvantError(ErrorNumber::FileNotFound,
                           "the desktop front end cannot be loaded: " +
                               std::string(error ? error : path + " has no entry point"));
    }
    const Module& module = *entry();
    module.setDiagnosticSink(printDiagnostic);
    return module;
}

}  // namespace

const ClipboardModule& clipboardModule() {
    static const ClipboardModule& module =
        loadModule<ClipboardModule>(kClipboardModuleFile, "pellomar_clipboard_module");
    return module;
}

const DesktopModule& desktopModule() {
    static const DesktopModule& module =
        loadModule<DesktopModule>(kDesktopModuleFile, "pellomar_desktop_module");
    return module;
}

// ---- wl-clipboard ----

namespace {

struct ProgramResult {
    int waitStatus = 0;
    std::string out;  // standard output, when captured
    std::string err;  // standard error
};

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest(path);
    while (true) {
        const std::size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (dir.empty()) dir = ".";
        if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

// Runs a program with input on its standard input and its output captured. Standard error goes
// to an anonymous file rather than a pipe: wl-copy leaves a child behind that holds it open.
ProgramResult runProgram(const std::vector<std::string>& args, const std::string* input,
                         bool captureOutput) {
    const int errFile = ::memfd_create("wl-clipboard-stderr", MFD_CLOEXEC);
    if (errFile < 0) throwSystemError("cannot run " + args[0], errno);
    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {errFile, inPipe[0], inPipe[1], outPipe[0], outPipe[1]}) {
            if (fd >= 0) ::close(fd);
        }
    };
    if ((input && ::pipe2(inPipe, O_CLOEXEC) != 0) ||
        (captureOutput && ::pipe2(outPipe, O_CLOEXEC) != 0)) {
        const int err = errno;
        closeAll();
        throwSystemError("cannot run " + args[0], err);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    } else {
        // wl-copy's serving child must not hold the caller's standard output open.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, errFile, STDERR_FILENO);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        closeAll();
        throwSystemError("cannot run " + args[0], spawned);
    }
    ProgramResult result;
    if (input) {
        ::close(inPipe[0]);
        inPipe[0] = -1;
        const auto previous = ::signal(SIGPIPE, SIG_IGN);
        writeAll(inPipe[1], input->data(), input->size());
        ::signal(SIGPIPE, previous);
        ::close(inPipe[1]);
        inPipe[1] = -1;
    }
    if (captureOutput) {
        ::close(outPipe[1]);
        outPipe[1] = -1;
        result.out = readToEnd(outPipe[0]);
    }
    while (::waitpid(pid, &result.waitStatus, 0) < 0 && errno == EINTR) {
    }
    ::lseek(errFile, 0, SEEK_SET);
    result.err = readToEnd(errFile);
    while (!result.err.empty() && (result.err.back() == '\n' || result.err.back() == ' ')) {
        result.err.pop_back();
    }
    closeAll();
    return result;
}

bool succeeded(const ProgramResult& result) {
    return WIFEXITED(result.waitStatus) && WEXITSTATUS(result.waitStatus) == 0;
}

[[noreturn]] void throwProgramError(const std::string& program, const ProgramResult& result) {
    std::string detail = program + " " + describeWaitStatus(result.waitStatus);
    if (!result.err.empty()) detail += ": " + result.err;
    throw MorvantError(ErrorNumber::PathFileAccessError, detail);
}

bool isTextType(std::string_view type) {
    return type.substr(0, 5) == "text/" || type == "UTF8_STRING" || type == "STRING" ||
           type == "TEXT";
}

}  // namespace

bool WlClipboard::available() {
    return onPath("wl-paste") && onPath("wl-copy");
}

std::optional<std::u16string> WlClipboard::text() {
    const ProgramResult types = runProgram({"wl-paste", "--list-types"}, nullptr, true);
    if (!succeeded(types)) {
        // An empty clipboard is no failure: there is simply no text.
        if (types.err.find("Nothing is copied") != std::string::npos ||
            types.err.find("No selection") != std::string::npos) {
            return std::nullopt;
        }
        throwProgramError("wl-paste", types);
    }
    std::string chosen;
    for (std::string_view preferred : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"}) {
        if (("\n" + types.out + "\n").find("\n" + std::string(preferred) + "\n") !=
            std::string::npos) {
            chosen = preferred;
            break;
        }
    }
    if (chosen.empty()) {
        std::string_view rest(types.out);
        while (!rest.empty() && chosen.empty()) {
            const std::size_t eol = rest.find('\n');
            const std::string_view type = rest.substr(0, eol);
            if (isTextType(type)) chosen = type;
            rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        }
    }
    if (chosen.empty()) return std::nullopt;  // an image or a file list is not ours to replace
    const ProgramResult paste =
        runProgram({"wl-paste", "--no-newline", "--type", chosen}, nullptr, true);
    if (!succeeded(paste)) throwProgramError("wl-paste", paste);
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(paste.out, &bad);
    if (!text) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "the clipboard's text is not UTF-8 (byte " + std::to_string(bad + 1) +
                               "); the clipboard was left as it was");
    }
    return lfToCrLf(*text);
}

void WlClipboard::clear() {
    const ProgramResult result = runProgram({"wl-copy", "--clear"}, nullptr, false);
    if (!succeeded(result)) throwProgramError("wl-copy", result);
}

void WlClipboard::setText(const std::u16string& text) {
    const std::string bytes = encodeUtf8(crLfToLf(text));
    const ProgramResult result =
        runProgram({"wl-copy", "--type", "text/plain;charset=utf-8"}, &bytes, false);
    if (!succeeded(result)) throwProgramError("wl-copy", result);
}

}  // namespace pellomar::platform
