#include "ReferenceArrange.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Checked.h"
#include "Content.h"
#include "ErrorRecord.h"
#include "Host.h"
#include "PassSteps.h"

namespace pellomar {

namespace {

// Characters of a marked text, kept in step with their flags. Positions are 1-based, as in the
// rules of the pass; a count past the end yields fewer characters.
MarkedText mid(const MarkedText& t, std::int64_t from, std::int64_t count) {
    const auto len = static_cast<std::int64_t>(t.text.size());
    if (from < 1 || from > len || count <= 0) return {};
    const auto start = static_cast<std::size_t>(from - 1);
    const auto n = static_cast<std::size_t>(std::min(count, len - from + 1));
    return {t.text.substr(start, n),
            ContentMask(t.content.begin() + static_cast<std::ptrdiff_t>(start),
                        t.content.begin() + static_cast<std::ptrdiff_t>(start + n))};
}

// Spaces only: TAB, CR and LF are never trimmed.
void trimSpaces(MarkedText& t) {
    std::size_t end = t.text.size();
    while (end > 0 && t.text[end - 1] == kSpace) --end;
    std::size_t begin = 0;
    while (begin < end && t.text[begin] == kSpace) ++begin;
    t.text = t.text.substr(begin, end - begin);
    t.content = ContentMask(t.content.begin() + static_cast<std::ptrdiff_t>(begin),
                            t.content.begin() + static_cast<std::ptrdiff_t>(end));
}

void append(MarkedText& t, const MarkedText& more) {
    t.text += more.text;
    t.content.insert(t.content.end(), more.content.begin(), more.content.end());
}

// What the pass inserts (indentation, line breaks) is never content.
MarkedText plain(std::u16string text) {
    ContentMask mask(text.size(), 0);
    return {std::move(text), std::move(mask)};
}

// First occurrence of what at or after the 1-based position from; 0 when there is none or from
// lies past the end; from itself for an empty what inside the text.
std::int32_t inStr(std::int32_t from, const std::u16string& text, const std::u16string& what) {
    if (from < 1 || static_cast<std::size_t>(from) > text.size()) return 0;
    const std::size_t at = text.find(what, static_cast<std::size_t>(from - 1));
    return at == std::u16string::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

// An occurrence that touches a literal or comment, from the character before it to the one behind
// it, is not the statement's keyword.
bool touchesContent(const MarkedText& t, std::int32_t pos, std::int32_t after) {
    const std::int64_t first = std::max<std::int64_t>(1, std::int64_t{pos} - 1);
    const std::int64_t last =
        std::min<std::int64_t>(static_cast<std::int64_t>(t.text.size()), after);
    for (std::int64_t i = first; i <= last; ++i) {
        if (t.content[static_cast<std::size_t>(i - 1)]) return true;
    }
    return false;
}

bool IsDelimiter(std::u16string_view vstrChar);

// Whether the word at pos lies inside an occurrence of a longer word row's keyword in the text
// as it stands, which that row would accept: the same lowered characters, delimiters on both
// sides, no literal or comment touched.
bool liesInsideLongerWord(const MarkedText& work, const std::u16string& lowered, std::int32_t pos,
                          const std::vector<Container>& containers) {
    const auto length = static_cast<std::int64_t>(work.text.size());
    for (const Container& c : containers) {
        const std::int64_t start = std::int64_t{pos} - static_cast<std::int64_t>(c.offset);
        const auto size = static_cast<std::int64_t>(c.keyword.size());
        if (start < 1 || start + size - 1 > length) continue;
        if (lowered.compare(static_cast<std::size_t>(start - 1), c.keyword.size(), c.keyword) !=
            0) {
            continue;
        }
        const std::u16string before = start <= 1 ? std::u16string() : mid(work, start - 1, 1).text;
        const std::u16string behind = mid(work, start + size, 1).text;
        if (!IsDelimiter(before) || !IsDelimiter(behind)) continue;
        if (touchesContent(work, static_cast<std::int32_t>(start),
                           static_cast<std::int32_t>(start + size))) {
            continue;
        }
        return true;
    }
    return false;
}

MarkedText NormalizeText(std::u16string_view vstrText) {
    std::u16string single;
    single.reserve(vstrText.size());
    for (std::size_t i = 0; i < vstrText.size(); ++i) {
        if (vstrText[i] == kCr && i + 1 < vstrText.size() && vstrText[i + 1] == kLf) {
            single.push_back(kCr);
            ++i;
        } else {
            single.push_back(vstrText[i]);
        }
    }
    const ContentMask content = markContent(single);
    // A TAB inside a literal or comment is the user's text and stays; elsewhere it is layout.
    const std::u16string tabWidth(kSpacesPerLevel, kSpace);
    MarkedText out;
    out.text.reserve(single.size());
    out.content.reserve(single.size());
    for (std::size_t i = 0; i < single.size(); ++i) {
        if (single[i] == kTab && !content[i]) {
            out.text += tabWidth;
            out.content.insert(out.content.end(), tabWidth.size(), 0);
        } else {
            out.text.push_back(single[i]);
            out.content.push_back(content[i]);
        }
    }
    lengthOf(out.text);
    return out;
}

std::u16string RestoreCrLf(std::u16string_view vstrText) {
    std::u16string out;
    out.reserve(vstrText.size() + vstrText.size() / 8);
    for (const char16_t c : vstrText) {
        out.push_back(c);
        if (c == kCr) out.push_back(kLf);
    }
    return out;
}

bool IsDelimiter(std::u16string_view vstrChar) {
    return vstrChar.empty() || vstrChar == u" " || vstrChar == u"\t" || vstrChar == u"\r";
}

MarkedText StripLeadingCr(MarkedText vText) {
    std::size_t n = 0;
    while (n < vText.text.size() && vText.text[n] == kCr) ++n;
    vText.text.erase(0, n);
    vText.content.erase(vText.content.begin(),
                        vText.content.begin() + static_cast<std::ptrdiff_t>(n));
    return vText;
}

MarkedText BreakAtKeyword(const MarkedText& vText, const KeywordTable& vtblKeywords,
                          std::size_t vlngRow, std::int32_t vlngPos, std::int32_t vlngAfter,
                          std::int32_t& rlngResume) {
    const typKeyword& vKeyword = vtblKeywords[vlngRow];
    const std::int32_t length = lengthOf(vText.text);
    MarkedText head = mid(vText, 1, std::int64_t{vlngPos} - 1);
    trimSpaces(head);
    if (!head.text.empty() && vKeyword.intLineHead == 1 && head.text.back() != kCr) {
        append(head, plain(std::u16string(1, kCr)));
    }
    // The keyword as the query wrote it, in the query's own letter case.
    MarkedText word = mid(vText, vlngPos, static_cast<std::int64_t>(vKeyword.strWord.size()));
    trimSpaces(word);
    MarkedText line = plain(std::u16string(
        indentSpaces(vtblKeywords, vlngRow, std::int32_t{vKeyword.intIndent} - 1), kSpace));
    append(line, word);
    // Every keyword, word or symbol, ends its line.
    append(line, plain(std::u16string(1, kCr)));
    MarkedText tail;
    if (length >= vlngAfter) {
        tail = mid(vText, vlngAfter, std::int64_t{length} - vlngAfter + 1);
        trimSpaces(tail);
        tail = StripLeadingCr(std::move(tail));
        trimSpaces(tail);
        MarkedText indented =
            plain(std::u16string(indentSpaces(vtblKeywords, vlngRow, vKeyword.intIndent), kSpace));
        append(indented, tail);
        tail = std::move(indented);
    }
    checkedPosition(
        static_cast<std::int64_t>(head.text.size() + line.text.size() + tail.text.size()));
    rlngResume =
        checkedPosition(static_cast<std::int64_t>(head.text.size() + line.text.size()) + 1);
    append(head, line);
    append(head, tail);
    return head;
}

}  // namespace

bool referenceArrangeText(const std::u16string& vstrQry, const KeywordTable& vtblKeywords,
                          std::u16string& rstrResult) {
    try {
        MarkedText work = NormalizeText(vstrQry);
        if (vtblKeywords.empty()) throw emptyTableError(vtblKeywords.source);
        const auto last = checkedNarrow<std::int16_t>(
            static_cast<std::int64_t>(vtblKeywords.size()) - 1, "the keyword row index");
        const WordRows wordRows(vtblKeywords);
        for (std::int32_t k = 0; k <= last; ++k) {
            const typKeyword& row = vtblKeywords[static_cast<std::size_t>(k)];
            if (rowIsSkipped(row.strWord)) continue;
            const std::vector<Container> containers =
                wordRows.containing(vtblKeywords, static_cast<std::size_t>(k));
            std::u16string needle = row.strWord;
            platform::lowerInPlace(needle);
            const std::int32_t wordLength = lengthOf(row.strWord);
            std::int32_t pos = 1;
            while (pos < lengthOf(work.text)) {
                std::u16string lowered = work.text;
                platform::lowerInPlace(lowered);
                pos = inStr(pos, lowered, needle);
                if (pos < 1) break;
                const std::int32_t after = checkedPosition(std::int64_t{pos} + wordLength);
                bool rejected = false;
                if (row.intLineHead == 1) {
                    const std::u16string before =
                        pos <= 1 ? std::u16string() : mid(work, pos - 1, 1).text;
                    const std::u16string behind = mid(work, after, 1).text;
                    rejected = !IsDelimiter(before) || !IsDelimiter(behind);
                }
                rejected = rejected || touchesContent(work, pos, after);
                // A word inside a longer word row's keyword is part of it, not a break.
                rejected = rejected || (row.intLineHead == 1 &&
                                        liesInsideLongerWord(work, lowered, pos, containers));
                if (rejected) {
                    pos = checkedPosition(std::int64_t{after} + 1);
                    continue;
                }
                std::int32_t resume = 0;
                work = BreakAtKeyword(work, vtblKeywords, static_cast<std::size_t>(k), pos, after,
                                      resume);
                // Go on right behind the keyword's line in the rebuilt text: the splice moved
                // the tail, and uncorrected positions would skip occurrences.
                pos = resume;
            }
        }
        rstrResult = RestoreCrLf(withoutTrailingSpaces(work.text));
        return true;
    } catch (...) {
        platform::showErrorBox(recordFromCurrentException());
        return false;
    }
}

}  // namespace pellomar
