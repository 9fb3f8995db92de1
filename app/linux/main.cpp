#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "ErrorRecord.h"
#include "ExitStatus.h"
#include "basMainLinux.h"

int main(int argc, char** argv) {
    // The keyword file is in the locale's charset, and lower-casing follows the locale.
    std::setlocale(LC_ALL, "");
    try {
        return pellomar::basMain::Main(std::vector<std::string>(argv + 1, argv + argc));
    } catch (...) {
        // Nothing inside handled it: say what it was, never a crash dump.
        const pellomar::ErrorRecord record = pellomar::recordFromCurrentException();
        std::fprintf(stderr, "%s: %s\n", pellomar::platform::kAppTitle,
                     pellomar::formatError(record).c_str());
        return pellomar::kExitUncaught;
    }
}
