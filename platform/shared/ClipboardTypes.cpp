#include "ClipboardTypes.h"

#include <algorithm>
#include <array>

namespace pellomar::platform {

namespace {

constexpr std::array<std::string_view, 5> kPlainText = {"text/plain;charset=utf-8", "text/plain",
                                                        "UTF8_STRING", "STRING", "TEXT"};

bool among(std::string_view type, const auto& names) {
    return std::find(names.begin(), names.end(), type) != names.end();
}

}  // namespace

bool isPlainTextType(std::string_view type) {
    return among(type, kPlainText);
}

bool isFileListType(std::string_view type) {
    return among(type, kFileListTypes);
}

}  // namespace pellomar::platform
