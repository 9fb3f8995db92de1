#pragma once

// Small helpers of the fuzz targets' own: turning raw bytes into engine text, and checks that
// abort loudly, so that libFuzzer keeps the input and the replay program fails its ctest. What
// they share with the tests is in tests/support.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "TextCodec.h"

namespace pellomar::fuzzing {

inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// Valid UTF-8 is taken as such, so that the dictionary's keywords mean something; anything else
// is read as UTF-16LE code units, which reaches every 16-bit value, lone surrogates included.
inline std::u16string textFrom(std::string_view bytes) {
    if (auto text = platform::decodeUtf8(bytes)) return *text;
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return units;
}

}  // namespace pellomar::fuzzing
