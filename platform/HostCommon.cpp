// The host services that are the same on every host: where the keyword file is looked for, the
// lower-casing helpers over the host's table, and the error channel.
#include <cstdio>
#include <utility>

#include "Host.h"

namespace pellomar::platform {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path>& programDirectoryOverride() {
    static std::optional<fs::path> dir;
    return dir;
}

}  // namespace

fs::path keywordFilePath() {
    const auto& dir = programDirectoryOverride();
    return (dir ? *dir : executableDirectory()) / kKeywordFileName;
}

void setProgramDirectoryForTesting(std::optional<fs::path> directory) {
    programDirectoryOverride() = std::move(directory);
}

char16_t lowerUnit(char16_t unit) {
    return lowerTable()[unit];
}

void lowerInPlace(std::u16string& text) {
    const char16_t* table = lowerTable();
    for (char16_t& c : text) c = table[c];
}

namespace {

struct ErrorChannel {
    ErrorBox box;
    std::uint64_t count = 0;
};

ErrorChannel& channel() {
    static ErrorChannel c;
    return c;
}

void writeToStderr(const ErrorRecord& record) {
    const std::string line = std::string(kAppTitle) + ": " + formatError(record) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

ErrorBox setErrorBox(ErrorBox box) {
    ErrorBox previous = std::move(channel().box);
    channel().box = std::move(box);
    return previous;
}

void showErrorBox(const ErrorRecord& record) {
    ++channel().count;
    if (channel().box) {
        channel().box(record);
    } else {
        writeToStderr(record);
    }
}

std::uint64_t errorBoxCount() {
    return channel().count;
}

}  // namespace pellomar::platform
