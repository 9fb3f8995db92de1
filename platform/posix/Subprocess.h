#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pellomar::platform {

struct ProgramResult {
    int waitStatus = 0;
    std::string out;  // standard output, when captured
    std::string err;  // standard error, trailing line breaks removed
};

// Runs a program found on the PATH with input (if any) on its standard input and its standard
// output captured (if asked), and waits for it to end. A program that goes quiet for longer than
// patience (no input taken, no output given, not ended) is killed, and that is a MorvantError
// (75) naming it; so is a program that cannot be started. The program starts in
// workingDirectory when one is given, else in the caller's.
ProgramResult runProgram(const std::vector<std::string>& args, const std::string* input,
                         bool captureOutput, std::chrono::milliseconds patience,
                         const char* workingDirectory = nullptr);

bool succeeded(const ProgramResult& result);
// "exited with status 3", "killed by signal 9 (SIGKILL)", ...
std::string describeWaitStatus(int waitStatus);
// Whether an executable of that name is on the PATH.
bool onPath(const std::string& program);

}  // namespace pellomar::platform
