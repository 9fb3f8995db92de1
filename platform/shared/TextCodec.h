#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pellomar::platform {

// Strict UTF-8: overlong forms, encoded surrogates and values past U+10FFFF are refused, so that
// nothing the user gave us is silently altered. On failure *badOffset is the offending byte.
std::optional<std::u16string> decodeUtf8(std::string_view bytes, std::size_t* badOffset = nullptr);

// A lone surrogate has no UTF-8 form; it becomes U+FFFD.
std::string encodeUtf8(std::u16string_view text);

// Where a byte lies in text whose lines end in LF: its line and its byte within that line, both
// counted from 1, as messages name a place.
struct BytePlace {
    std::size_t line = 1;
    std::size_t byte = 1;
};
BytePlace placeOfByte(std::string_view bytes, std::size_t offset);

// Hosts around us end lines with LF (or CR LF); the engine wants CR LF on the way in.
// Every LF that is not already preceded by CR gets one. A lone CR is left as it is.
std::u16string lfToCrLf(std::u16string_view text);

// And the way back out: every CR LF becomes LF.
std::u16string crLfToLf(std::u16string_view text);

}  // namespace pellomar::platform
