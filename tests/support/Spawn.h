#pragma once

// Running programs as a user does, on POSIX: the built dovlek in the end-to-end tests, and the
// benchmark's own children.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Support.h"

namespace pellomar::testing_support {

// Variables set for a run, by name; an empty value unsets one.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
    int status = -1;  // the exit status, 128 + the signal for a killed run
    std::string out;
    std::string err;
    long peakKilobytes = 0;  // the run's peak resident memory
};

// One program started with its standard input from a file or through a pipe, and its standard
// output and error in files of a working directory.
class Process {
  public:
    struct Launch {
        std::vector<std::string> argv;  // argv[0] is looked for in PATH when it has no slash
        std::string input;
        bool inputThroughPipe = false;
        Environment env;
    };

    // The files are <dir>/<name>.in, .out and .err.
    Process(const Launch& launch, const std::filesystem::path& dir, const std::string& name);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;

    // Waits for the end; a run that takes longer than limit is killed (status 128 + 9).
    Outcome finish(std::chrono::seconds limit = std::chrono::seconds(300));

  private:
    std::filesystem::path out_;
    std::filesystem::path err_;
    pid_t pid_ = -1;
};

// A copy of dovlek in a directory of its own, beside the keyword file it is to read. Runs have
// neither DISPLAY nor WAYLAND_DISPLAY unless they set them: standard input and output stand in
// for the clipboard.
class Installed {
  public:
    struct Run {
        std::string input = {};
        std::vector<std::string> args = {};
        Environment env = {};
        bool inputThroughPipe = false;
        std::vector<std::string> prefix = {};  // a program that runs dovlek (setpriv ...), if any
        std::filesystem::path program = {};    // another way to this copy (a symbolic link)
    };

    explicit Installed(const std::filesystem::path& dovlek);

    const std::filesystem::path& dir() const { return dir_.path(); }
    std::filesystem::path exe() const { return dir() / "dovlek"; }
    std::filesystem::path keywordFile() const { return dir() / platform::kKeywordFileName; }
    void writeKeywordFile(const std::string& bytes) const;

    Process start(const Run& run, const std::string& name = "run") const;
    Outcome run(const Run& run) const { return start(run).finish(); }

  private:
    TempDir dir_;
};

}  // namespace pellomar::testing_support
