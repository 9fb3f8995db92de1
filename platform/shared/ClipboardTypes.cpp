#include "ClipboardTypes.h"

#include <algorithm>

namespace pellomar::platform {

bool isFileListType(std::string_view type) {
    return std::find(kFileListTypes.begin(), kFileListTypes.end(), type) != kFileListTypes.end();
}

bool isPlainTextType(std::string_view type) {
    constexpr std::array<std::string_view, 5> kPlainText = {
        "text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"};
    return std::find(kPlainText.begin(), kPlainText.end(), type) != kPlainText.end();
}

}  // namespace pellomar::platform
