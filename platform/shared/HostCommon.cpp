// The host services that are the same on every host: the keyword file's place and the
// lower-casing helpers, over what each host gives.
#include "Host.h"

namespace pellomar::platform {

std::filesystem::path keywordFilePath() {
    const std::filesystem::path directory = RequestScope::programDirectory();
    return (directory.empty() ? executableDirectory() : directory) / kKeywordFileName;
}

char16_t lowerUnit(char16_t unit) {
    return lowerTable()[unit];
}

void lowerInPlace(std::u16string& text) {
    const char16_t* table = lowerTable();
    for (char16_t& c : text) c = table[c];
}

}  // namespace pellomar::platform
