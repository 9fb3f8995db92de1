#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ErrorRecord.h"
#include "typKeyword.h"

// What the layout pass (clsMorvant) and the direct pass it is checked against (reference/) must
// have alike: the characters they treat specially, their steps and the messages they give. Each
// lives here once so that the two cannot drift apart.
namespace pellomar {

inline constexpr char16_t kCr = u'\r';
inline constexpr char16_t kLf = u'\n';
inline constexpr char16_t kTab = u'\t';
inline constexpr char16_t kSpace = u' ';
// One indent level, and the width of a TAB outside literals and comments.
inline constexpr std::size_t kSpacesPerLevel = 4;

// The text with every CR LF made a single CR, the engine's line break (pairs do not overlap).
std::u16string withSingleCrs(std::u16string_view text);

// A text's length as a 32-bit position; a longer text is the overflow error.
std::int32_t lengthOf(std::u16string_view text);

// The laid-out text without the spaces at its very end, also where they lie inside a comment or
// literal that runs to the end. A keyword near the end leaves its tail's indentation there with
// nothing behind it, and a second layout would then differ from the first by those spaces.
// Spaces at the ends of other lines stay: a line of indentation alone that became empty would be
// swallowed by the next layout, which again would not leave the text as it was.
std::u16string_view withoutTrailingSpaces(std::u16string_view text);

// The spaces of indentation at `level` for row `index` of the table: its keyword's line is at
// intIndent - 1, the text after it at intIndent. A level whose four-fold does not fit 16 bits
// (outside -8192..8191) is an overflow error naming the row as the keyword file holds it. The
// pass asks only when it has found the row's keyword, so a deep row that never matches does no
// harm; levels -8191..8191 therefore always work.
std::size_t indentSpaces(const KeywordTable& table, std::size_t index, std::int32_t level);

// A longer word row's keyword that holds a word row's keyword, lowered, and where the shorter one
// starts in it. An occurrence of a word row's keyword that lies inside an occurrence of a longer
// word row's keyword (one that row would accept: delimiters on both sides, no literal or comment
// touched) is part of that keyword and no break of its own: the join row leaves «left join»
// whole, whichever row comes first.
struct Container {
    std::u16string keyword;
    std::size_t offset;
};

// The keywords that can hold another row's: those of the word rows the pass does not skip,
// lowered, longest first, each once. Built once per pass.
class WordRows {
  public:
    explicit WordRows(const KeywordTable& table);

    // The longer keywords that hold row `index`'s keyword, once for every place they hold it;
    // none for a symbol row or a skipped one. Only places where the longer keyword has a
    // delimiter (or its own edge) on both sides of the shorter one are listed: the pass asks
    // only about occurrences whose own delimiters it has accepted, and the longer keyword
    // matches only where it has the same code units, lowered, as the text.
    std::vector<Container> containing(const KeywordTable& table, std::size_t index) const;

  private:
    std::vector<std::u16string> words_;
};

// The error of a pass given no rows at all, naming the keyword file it came from.
MorvantError emptyTableError(const KeywordSource& source);

// A row or field of the keyword file as messages show it: control characters escaped (\r, \n,
// \t, \xNN), so that a lone CR cannot overwrite the start of the message on a terminal and the
// box shows what the terminal shows; cut after 120 code units.
std::string shownText(std::u16string_view text);

}  // namespace pellomar
