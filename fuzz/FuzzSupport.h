#pragma once

// Small helpers shared by the fuzz targets: turning raw bytes into engine text, and checks that
// abort loudly, so that libFuzzer keeps the input and the replay program fails its ctest.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Content.h"
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

// The text without the characters a layout may add, remove or change: spaces, TABs, CRs, LFs.
// What is left must come out of every successful request exactly as it went in.
inline std::u16string withoutSpacing(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') out.push_back(c);
    }
    return out;
}

// The characters inside literals and comments, in order, of a text with CR LF line breaks.
inline std::u16string contentOf(std::u16string_view text) {
    std::u16string single;
    single.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && i > 0 && text[i - 1] == u'\r') continue;
        single.push_back(text[i]);
    }
    const ContentMask mask = markContent(single);
    std::u16string out;
    for (std::size_t i = 0; i < single.size(); ++i) {
        if (mask[i]) out.push_back(single[i]);
    }
    return out;
}

inline std::u16string trimEnd(std::u16string text) {
    while (!text.empty() && text.back() == u' ') text.pop_back();
    return text;
}

}  // namespace pellomar::fuzzing
