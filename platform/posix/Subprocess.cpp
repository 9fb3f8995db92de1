#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ErrorRecord.h"
#include "FdIo.h"
#include "UniqueFd.h"

extern char** environ;

namespace pellomar::platform {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void throwSystemError(const std::string& what, int err) {
    throw MorvantError(ErrorNumber::PathFileAccessError, what + ": " + std::strerror(err));
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

Pipe makePipe(const std::string& program) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throwSystemError("cannot run " + program, errno);
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Waits for the child to end, until the deadline; false when it is still running then.
bool waitForExit(pid_t pid, int* waitStatus, Clock::time_point deadline) {
    // A pidfd turns the wait into a poll with a timeout; without one, look now and then.
    const UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        const pid_t done = ::waitpid(pid, waitStatus, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) return true;  // not our child any more: nothing to wait for
        if (Clock::now() >= deadline) return false;
        if (pidfd) {
            pollfd pfd{pidfd.get(), POLLIN, 0};
            ::poll(&pfd, 1, millisecondsUntil(deadline));
        } else {
            ::usleep(2000);
        }
    }
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& args, const std::string* input,
                         bool captureOutput, std::chrono::milliseconds patience,
                         const char* workingDirectory) {
    const std::string& program = args.front();
    // Standard error goes to an anonymous file rather than a pipe: wl-copy leaves a child behind
    // that holds it open.
    const UniqueFd errFile(::memfd_create("program-stderr", MFD_CLOEXEC));
    if (!errFile) throwSystemError("cannot run " + program, errno);
    Pipe in;
    Pipe out;
    if (input) in = makePipe(program);
    if (captureOutput) out = makePipe(program);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, in.read.get(), STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
    } else {
        // A serving child that the program leaves behind must not hold the caller's output open.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, errFile.get(), STDERR_FILENO);
    if (workingDirectory != nullptr) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory);
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throwSystemError("cannot run " + program, spawned);
    in.read.reset();
    out.write.reset();

    ProgramResult result;
    std::string_view pending = input ? std::string_view(*input) : std::string_view();
    if (in.write) {
        ::fcntl(in.write.get(), F_SETFL, O_NONBLOCK);
        if (pending.empty()) in.write.reset();
    }
    Clock::time_point deadline = Clock::now() + patience;
    const auto previousSigpipe = ::signal(SIGPIPE, SIG_IGN);
    bool quiet = false;
    while (in.write || out.read) {
        std::vector<pollfd> fds;
        if (in.write) fds.push_back({in.write.get(), POLLOUT, 0});
        if (out.read) fds.push_back({out.read.get(), POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            quiet = true;
            break;
        }
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            if (p.fd == in.write.get()) {
                const ssize_t put = ::write(p.fd, pending.data(), pending.size());
                if (put > 0) pending.remove_prefix(static_cast<std::size_t>(put));
                // A program that stops reading (it ended, say) gets no more; its status tells.
                if (pending.empty() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
                    in.write.reset();
                }
            } else {
                char buffer[65536];
                const ssize_t got = ::read(p.fd, buffer, sizeof buffer);
                if (got > 0) {
                    result.out.append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    out.read.reset();
                }
            }
        }
        deadline = Clock::now() + patience;
    }
    ::signal(SIGPIPE, previousSigpipe);
    if (quiet || !waitForExit(pid, &result.waitStatus, deadline)) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &result.waitStatus, 0) < 0 && errno == EINTR) {
        }
        throw MorvantError(
            ErrorNumber::PathFileAccessError,
            program + " did not finish within " +
                std::to_string(std::chrono::ceil<std::chrono::seconds>(patience).count()) +
                " seconds and was stopped; the clipboard was left as it was");
    }
    ::lseek(errFile.get(), 0, SEEK_SET);
    readToEnd(errFile.get(), result.err);
    while (!result.err.empty() && (result.err.back() == '\n' || result.err.back() == ' ')) {
        result.err.pop_back();
    }
    return result;
}

bool succeeded(const ProgramResult& result) {
    return WIFEXITED(result.waitStatus) && WEXITSTATUS(result.waitStatus) == 0;
}

std::string describeWaitStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        const int sig = WTERMSIG(waitStatus);
        const char* name = ::sigabbrev_np(sig);
        std::string text = "killed by signal " + std::to_string(sig);
        if (name != nullptr) text.append(" (SIG").append(name).append(")");
        return text;
    }
    if (WIFEXITED(waitStatus)) {
        return "exited with status " + std::to_string(WEXITSTATUS(waitStatus));
    }
    return "ended";
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest(path);
    for (;;) {
        const std::size_t colon = rest.find(':');
        std::string candidate(rest.substr(0, colon));
        if (candidate.empty()) candidate = ".";
        candidate.append("/").append(program);
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

}  // namespace pellomar::platform
