#include "Spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <thread>

extern char** environ;

namespace pellomar::testing_support {

namespace fs = std::filesystem;

namespace {

// This process's environment with env applied.
std::vector<std::string> environmentWith(const Environment& env) {
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view var(*e);
        bool replaced = false;
        for (const auto& [name, value] : env) replaced = replaced || var.starts_with(name + "=");
        if (!replaced) vars.emplace_back(var);
    }
    for (const auto& [name, value] : env) {
        if (!value.empty()) vars.push_back(name + "=" + value);
    }
    return vars;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

Process::Process(const Launch& launch, const fs::path& dir, const std::string& name)
    : out_(dir / (name + ".out")), err_(dir / (name + ".err")) {
    const fs::path in = dir / (name + ".in");
    if (!launch.inputThroughPipe) std::ofstream(in, std::ios::binary) << launch.input;
    int pipeFds[2] = {-1, -1};
    if (launch.inputThroughPipe && ::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (launch.inputThroughPipe) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    std::vector<std::string> args = launch.argv;
    std::vector<std::string> env = environmentWith(launch.env);
    const int rc = posix_spawnp(&pid_, args.at(0).c_str(), &actions, nullptr, pointers(args).data(),
                                pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (launch.inputThroughPipe) {
        ::close(pipeFds[0]);
        if (rc == 0) {
            // The program may end without reading (it takes the clipboard instead).
            const auto previous = std::signal(SIGPIPE, SIG_IGN);
            (void)!::write(pipeFds[1], launch.input.data(), launch.input.size());
            std::signal(SIGPIPE, previous);
        }
        ::close(pipeFds[1]);
    }
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + args.at(0));
    }
}

Process::Process(Process&& other) noexcept
    : out_(std::move(other.out_)), err_(std::move(other.err_)), pid_(other.pid_) {
    other.pid_ = -1;
}

Process::~Process() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

Outcome Process::finish(std::chrono::seconds limit) {
    Outcome o;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int raw = 0;
    rusage usage{};
    while (::wait4(pid_, &raw, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::wait4(pid_, &raw, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    o.out = readBytes(out_);
    o.err = readBytes(err_);
    o.peakKilobytes = usage.ru_maxrss;
    return o;
}

Installed::Installed(const fs::path& dovlek) {
    // Readable by others too, so that a run as another user (setpriv) can start it.
    fs::permissions(dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(dovlek, exe());
}

void Installed::writeKeywordFile(const std::string& bytes) const {
    std::ofstream(keywordFile(), std::ios::binary | std::ios::trunc) << bytes;
}

Process Installed::start(const Run& run, const std::string& name) const {
    Process::Launch launch;
    launch.argv = run.prefix;
    launch.argv.push_back((run.program.empty() ? exe() : run.program).string());
    launch.argv.insert(launch.argv.end(), run.args.begin(), run.args.end());
    launch.input = run.input;
    launch.inputThroughPipe = run.inputThroughPipe;
    launch.env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    launch.env.insert(launch.env.end(), run.env.begin(), run.env.end());
    return Process(launch, dir(), name);
}

}  // namespace pellomar::testing_support
