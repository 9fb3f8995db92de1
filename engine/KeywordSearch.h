#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace pellomar {

// Finds a lowered keyword in a text that is lowered only as it is read, one code unit through the
// host's table, so that no lowered copy of a text of many megabytes is ever made: the direct pass
// lowers the whole text before every search, and that is where its time goes.
//
// The one trick for speed: candidates are found by the keyword's first and last characters in
// every form that lowers to them (one to four each: «,»; «s» and «S»; «k», «K» and the Kelvin
// sign), tested a block of code units at a time in a loop the compiler turns into vector
// instructions, with as many comparisons as there are forms; only candidates are lowered and
// compared whole. Should a host lower more than four code units to one character, candidates are
// found by lowering instead, more slowly.
class KeywordSearch {
  public:
    static constexpr std::size_t npos = std::u16string::npos;

    // needle: the keyword, lowered and not empty.
    explicit KeywordSearch(std::u16string needle);

    // The index of the first occurrence that starts at or after from and ends by end, or npos.
    std::size_t find(const char16_t* text, std::size_t from, std::size_t end) const;

    // Whether the keyword from its code unit skip on matches at text (which holds enough code
    // units).
    bool matchesFrom(const char16_t* text, std::size_t skip) const;

  private:
    // kForms: how many forms are compared (the first's and the last character's, the fewer
    // repeated), or 0 to find candidates by lowering.
    template <std::size_t kForms>
    std::size_t findFrom(const char16_t* text, std::size_t from, std::size_t stop) const;

    std::u16string needle_;
    const char16_t* lower_;
    std::size_t forms_ = 0;
    std::array<char16_t, 4> first_{};
    std::array<char16_t, 4> last_{};
};

}  // namespace pellomar
