// The arranging pass: ArrangeText scans the text once per keyword row, in table order, and
// BreakAtKeyword lays out each occurrence it accepts.
//
// The rules rebuild the whole text at every splice and go on searching right behind the keyword's
// line; done that way (reference/ReferenceArrange.cpp), the cost grows with the square of the
// text. But a splice changes what lies before the keyword only by trimming it, and what lies after
// it only by trimming and indenting its first line. So here each row reads the text it is given
// (`in`) once from front to back, and writes the text it lays out (`out`) once, by appending. At
// every moment the text the rules speak of is
//
//     out, then `owed` spaces, then in[next, end)
//
// where the owed spaces are the indentation the last splice put in front of its tail. They are
// written only when the next splice (or the row's end) shows that they stay: a keyword with
// nothing but spaces before it trims them away. Positions are indices into `in`; the rules'
// 1-based positions, which must stay 32-bit, are derived from them in one place
// (RowScan::positionOf).
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "Checked.h"
#include "Host.h"
#include "KeywordSearch.h"
#include "PassSteps.h"
#include "clsMorvant.h"
#include "structured/StructuredLayout.h"

namespace pellomar {

namespace {

// A code unit of the text with its content flag.
struct MarkedUnit {
    char16_t unit;
    std::uint8_t content;
};

// What a row writes: appended to, never read back but for its last few code units. Without a
// text to write to, it only counts: a row that could take the text past 32-bit positions is run
// that way first, so that it fails before it has spent the memory such a text needs. Counting,
// it still keeps the last `lookBack` code units, which a longer keyword holding the row's own
// may reach back into.
class RowOutput {
  public:
    explicit RowOutput(MarkedText* text, std::size_t lookBack = 0)
        : text_(text), lookBack_(text == nullptr ? lookBack : 0) {}

    std::int64_t length() const { return length_; }

    void spaces(std::size_t count) {
        length_ += static_cast<std::int64_t>(count);
        if (text_ == nullptr) {
            keep(std::min(count, lookBack_), [&](std::size_t) { return MarkedUnit{kSpace, 0}; });
            return;
        }
        text_->text.append(count, kSpace);
        text_->content.insert(text_->content.end(), count, 0);
    }
    void lineBreak() {
        ++length_;
        if (text_ == nullptr) {
            keep(1, [](std::size_t) { return MarkedUnit{kCr, 0}; });
            return;
        }
        text_->text.push_back(kCr);
        text_->content.push_back(0);
    }
    void copy(const MarkedText& from, std::size_t begin, std::size_t end) {
        length_ += static_cast<std::int64_t>(end - begin);
        if (text_ == nullptr) {
            const std::size_t n = std::min(end - begin, lookBack_);
            keep(n, [&](std::size_t j) {
                return MarkedUnit{from.text[end - n + j], from.content[end - n + j]};
            });
            return;
        }
        text_->text.append(from.text, begin, end - begin);
        const auto flags = from.content.begin();
        text_->content.insert(text_->content.end(), flags + static_cast<std::ptrdiff_t>(begin),
                              flags + static_cast<std::ptrdiff_t>(end));
    }
    // Only a row's first keyword line can start with spaces (its indentation, when nothing came
    // before it), and the next splice trims them; the text written by then is that one line.
    void dropLeadingSpaces(std::size_t count) {
        const auto kept = static_cast<std::int64_t>(recent_.size());
        const std::int64_t before = length_ - kept;  // written and no longer kept
        length_ -= static_cast<std::int64_t>(count);
        if (text_ == nullptr) {
            if (static_cast<std::int64_t>(count) > before) {
                recent_.erase(recent_.begin(),
                              recent_.begin() + (static_cast<std::int64_t>(count) - before));
            }
            return;
        }
        text_->text.erase(0, count);
        text_->content.erase(text_->content.begin(),
                             text_->content.begin() + static_cast<std::ptrdiff_t>(count));
    }
    // The code unit `back` units before the end of what was written (1: the last one), back at
    // most the look-back when counting; none when less was written.
    std::optional<MarkedUnit> unitFromEnd(std::size_t back) const {
        if (static_cast<std::int64_t>(back) > length_) return std::nullopt;
        if (text_ == nullptr) return recent_[recent_.size() - back];
        const std::size_t at = text_->text.size() - back;
        return MarkedUnit{text_->text[at], text_->content[at]};
    }

  private:
    // Appends n units (unit(j) for j = 0..n-1) to the kept ones, and forgets what lies further
    // back than the look-back now and then, not at every call.
    template <class Unit>
    void keep(std::size_t n, Unit unit) {
        if (lookBack_ == 0) return;
        for (std::size_t j = 0; j < n; ++j) recent_.push_back(unit(j));
        if (recent_.size() > 2 * lookBack_ + 64) {
            recent_.erase(recent_.begin(), recent_.end() - static_cast<std::ptrdiff_t>(lookBack_));
        }
    }

    MarkedText* text_;
    std::size_t lookBack_;
    std::int64_t length_ = 0;
    std::vector<MarkedUnit> recent_;
};

}  // namespace

// One row's walk through the text (see the top of the file).
struct RowScan {
    RowScan(const MarkedText& text, RowOutput output, const KeywordTable& rows, std::size_t index)
        : in(text), out(std::move(output)), table(rows), rowIndex(index), end(text.text.size()) {}

    const MarkedText& in;
    RowOutput out;
    const KeywordTable& table;
    std::size_t rowIndex;
    std::size_t next = 0;     // the first code unit of `in` not yet passed
    std::size_t end;          // in[end, ...) has left the text: the spaces that ended it
    std::size_t owed = 0;     // spaces owed in front of in[next]
    std::size_t leading = 0;  // spaces that start `out`
    // The row's two indentations, its level checked when a splice first needs each.
    std::optional<std::size_t> lineIndent;
    std::optional<std::size_t> tailIndent;

    const typKeyword& row() const { return table[rowIndex]; }
    std::int64_t length() const {
        return out.length() + static_cast<std::int64_t>(owed + (end - next));
    }
    // The 1-based position in the text of in[at], at >= next.
    std::int64_t positionOf(std::size_t at) const {
        return out.length() + static_cast<std::int64_t>(owed + (at - next)) + 1;
    }
};

// An occurrence of the row's keyword: in[begin, end), except that a keyword that starts with
// spaces may start in the owed indentation, `owedPart` of its spaces being owed ones.
struct Occurrence {
    std::size_t begin;
    std::size_t end;
    std::size_t owedPart = 0;
};

namespace {

// The code unit in front of an occurrence; none at the text's start.
std::optional<MarkedUnit> unitBefore(const RowScan& scan, const Occurrence& at) {
    if (at.owedPart == 0 && at.begin > scan.next) {
        return MarkedUnit{scan.in.text[at.begin - 1], scan.in.content[at.begin - 1]};
    }
    // In front of in[next] lie the owed spaces, and in front of them the line break that ends
    // every keyword line written.
    if (scan.owed > at.owedPart) return MarkedUnit{kSpace, 0};
    if (scan.out.length() > 0) return MarkedUnit{kCr, 0};
    return std::nullopt;
}

// The code unit behind an occurrence; none at the text's end.
std::optional<MarkedUnit> unitBehind(const RowScan& scan, const Occurrence& at) {
    if (at.end >= scan.end) return std::nullopt;
    return MarkedUnit{scan.in.text[at.end], scan.in.content[at.end]};
}

std::u16string_view asText(const std::optional<MarkedUnit>& u) {
    return u ? std::u16string_view(&u->unit, 1) : std::u16string_view();
}

// From the code unit in front of it to the one behind it, an occurrence may touch no literal or
// comment: a keyword there is not the statement's.
bool touchesContent(const RowScan& scan, const Occurrence& at) {
    const auto before = unitBefore(scan, at);
    const auto behind = unitBehind(scan, at);
    if ((before && before->content != 0) || (behind && behind->content != 0)) return true;
    const auto flags = scan.in.content.begin();
    return std::any_of(flags + static_cast<std::ptrdiff_t>(at.begin),
                       flags + static_cast<std::ptrdiff_t>(at.end),
                       [](std::uint8_t flag) { return flag != 0; });
}

// The first occurrence that starts at or after in[from], or, when owedAhead spaces of the owed
// indentation lie before in[from] still to be searched, in them. The code unit in[next] after a
// splice is no space (the splice trimmed the tail), so a keyword can start in the owed spaces
// only where its own leading spaces cover the rest of them exactly: there is one such place.
std::optional<Occurrence> findOccurrence(const RowScan& scan, const KeywordSearch& search,
                                         std::size_t leadingSpaces, std::size_t from,
                                         std::size_t owedAhead) {
    const std::size_t m = scan.row().strWord.size();
    const char16_t* text = scan.in.text.data();
    if (leadingSpaces > 0 && leadingSpaces <= owedAhead && from + m - leadingSpaces <= scan.end &&
        search.matchesFrom(text + from, leadingSpaces)) {
        return Occurrence{from, from + m - leadingSpaces, leadingSpaces};
    }
    const std::size_t at = search.find(text, from, scan.end);
    if (at == KeywordSearch::npos) return std::nullopt;
    return Occurrence{at, at + m};
}

// The code unit `offset` code units from in[next] in the text the rules speak of: behind it the
// rest of `in`, in front of it the owed spaces and then what the row wrote. None outside the text.
std::optional<MarkedUnit> unitAt(const RowScan& scan, std::ptrdiff_t offset) {
    if (offset >= 0) {
        const std::size_t at = scan.next + static_cast<std::size_t>(offset);
        if (at >= scan.end) return std::nullopt;
        return MarkedUnit{scan.in.text[at], scan.in.content[at]};
    }
    const auto back = static_cast<std::size_t>(-offset);
    if (back <= scan.owed) return MarkedUnit{kSpace, 0};
    return scan.out.unitFromEnd(back - scan.owed);
}

// How far a row may look back into what it wrote: to the code unit in front of the longest reach
// of a keyword that holds its own. An occurrence never starts in front of the owed spaces.
std::size_t lookBackFor(const std::vector<Container>& containers) {
    std::size_t reach = 0;
    for (const Container& c : containers) reach = std::max(reach, c.offset + 1);
    return reach;
}

// Whether an occurrence, accepted by its own row's checks, lies inside an occurrence of a longer
// word row's keyword that that row would accept: the same code units lowered, delimiters on both
// sides, and no literal or comment from the code unit in front of it to the one behind it. Such
// an occurrence can reach back into the owed spaces and what the row wrote (a keyword that starts
// with spaces or holds a line break), and forward as far as the text goes.
template <class IsDelimiterUnit>
bool liesInsideLongerWord(const RowScan& scan, const Occurrence& at,
                          const std::vector<Container>& containers,
                          IsDelimiterUnit isDelimiterUnit) {
    const char16_t* lower = platform::lowerTable();
    const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(at.begin - scan.next) -
                                 static_cast<std::ptrdiff_t>(at.owedPart);
    for (const Container& c : containers) {
        const std::ptrdiff_t from = start - static_cast<std::ptrdiff_t>(c.offset);
        const auto to = from + static_cast<std::ptrdiff_t>(c.keyword.size());
        bool found = true;
        for (std::ptrdiff_t i = from; found && i < to; ++i) {
            const std::optional<MarkedUnit> u = unitAt(scan, i);
            found = u && u->content == 0 &&
                    lower[u->unit] == c.keyword[static_cast<std::size_t>(i - from)];
        }
        if (!found) continue;
        const std::optional<MarkedUnit> before = unitAt(scan, from - 1);
        const std::optional<MarkedUnit> behind = unitAt(scan, to);
        if (isDelimiterUnit(before) && isDelimiterUnit(behind) &&
            !(before && before->content != 0) && !(behind && behind->content != 0)) {
            return true;
        }
    }
    return false;
}

// Whether a row could take the text past 32-bit positions. Each splice uses up at least the
// keyword's code units from its first non-space on and adds at most two line breaks and two
// indentations, so below this bound it cannot, and the row need not be measured first.
bool mayPassPositionLimit(const MarkedText& text, const typKeyword& row,
                          std::size_t leadingSpaces) {
    const auto spaces = [](std::int64_t level) {
        return std::clamp<std::int64_t>(level, 0, 8191) *
               static_cast<std::int64_t>(kSpacesPerLevel);
    };
    const auto length = static_cast<std::int64_t>(text.text.size());
    const std::int64_t splices =
        length / static_cast<std::int64_t>(row.strWord.size() - leadingSpaces);
    const std::int64_t growth = spaces(std::int64_t{row.intIndent} - 1) + spaces(row.intIndent) + 2;
    return length + splices * growth + 2 > INT32_MAX;
}

}  // namespace

bool clsMorvant::ArrangeText(const std::u16string& vstrQry, const KeywordTable& vtblKeywords,
                             std::u16string& rstrResult) {
    try {
        if (vtblKeywords.layout == LayoutMode::Structured) {
            std::u16string laidOut;
            {
                const std::u16string text = withSingleCrs(vstrQry);
                checkedPosition(static_cast<std::int64_t>(text.size()));
                if (vtblKeywords.empty()) throw emptyTableError(vtblKeywords.source);
                laidOut = layOutStructured(text, vtblKeywords);
            }
            rstrResult = RestoreCrLf(laidOut);
            return true;
        }
        MarkedText text = NormalizeText(vstrQry);
        if (vtblKeywords.empty()) throw emptyTableError(vtblKeywords.source);
        const auto last = checkedNarrow<std::int16_t>(
            static_cast<std::int64_t>(vtblKeywords.size()) - 1, "the keyword row index");
        const WordRows wordRows(vtblKeywords);
        MarkedText laidOut;  // what a row writes; the next row's text when it changed anything
        // Both texts get room to grow into once, here, so that rows seldom move what they have
        // written to a larger block; room never written costs no memory.
        const std::size_t room = 2 * text.text.size() + 64;
        text.text.reserve(room);
        text.content.reserve(room);
        laidOut.text.reserve(room);
        laidOut.content.reserve(room);
        for (std::int32_t k = 0; k <= last; ++k) {
            const auto rowIndex = static_cast<std::size_t>(k);
            const typKeyword& row = vtblKeywords[rowIndex];
            if (rowIsSkipped(row.strWord)) continue;
            std::u16string needle = row.strWord;
            platform::lowerInPlace(needle);
            const std::size_t leadingSpaces = needle.find_first_not_of(kSpace);
            const KeywordSearch search(std::move(needle));
            const std::int32_t wordLength = lengthOf(row.strWord);
            // The longer keywords that hold this row's, found when the row first accepts an
            // occurrence of its own: most rows of a long file find none.
            std::optional<std::vector<Container>> containers;
            const auto containing = [&]() -> const std::vector<Container>& {
                if (!containers) containers = wordRows.containing(vtblKeywords, rowIndex);
                return *containers;
            };
            const auto isDelimiterUnit = [this](const std::optional<MarkedUnit>& u) {
                return IsDelimiter(asText(u));
            };

            // One row's scan, from the text's start to its end. A word needs delimiters on both
            // sides; after a splice the search goes on right behind the keyword's line, that is
            // at the owed indentation; after a rejected occurrence, one code unit behind it.
            // Returns the length of the row's text when it changed anything.
            const auto scanRow = [&](RowOutput out) {
                RowScan scan(text, std::move(out), vtblKeywords, rowIndex);
                std::size_t from = 0;
                std::size_t owedAhead = 0;
                bool spliced = false;
                while (scan.positionOf(from) - static_cast<std::int64_t>(owedAhead) <
                       scan.length()) {
                    const std::optional<Occurrence> at =
                        findOccurrence(scan, search, leadingSpaces, from, owedAhead);
                    if (!at) break;
                    const std::int64_t pos =
                        scan.positionOf(at->begin) - static_cast<std::int64_t>(at->owedPart);
                    const std::int32_t after = checkedPosition(pos + wordLength);
                    bool rejected =
                        row.intLineHead == 1 && (!isDelimiterUnit(unitBefore(scan, *at)) ||
                                                 !isDelimiterUnit(unitBehind(scan, *at)));
                    rejected = rejected || touchesContent(scan, *at);
                    rejected = rejected ||
                               (row.intLineHead == 1 &&
                                liesInsideLongerWord(scan, *at, containing(), isDelimiterUnit));
                    if (rejected) {
                        checkedPosition(std::int64_t{after} + 1);
                        from = at->end + 1;
                        owedAhead = 0;
                        continue;
                    }
                    BreakAtKeyword(scan, *at);
                    spliced = true;
                    from = scan.next;
                    owedAhead = scan.owed;
                }
                if (!spliced) return std::optional<std::int64_t>();
                scan.out.spaces(scan.owed);
                scan.out.copy(text, scan.next, scan.end);
                return std::optional<std::int64_t>(scan.out.length());
            };

            std::optional<std::optional<std::int64_t>> measured;
            if (mayPassPositionLimit(text, row, leadingSpaces)) {
                measured = scanRow(RowOutput(nullptr, lookBackFor(containing())));
            }
            laidOut.text.clear();
            laidOut.content.clear();
            const std::optional<std::int64_t> written = scanRow(RowOutput(&laidOut));
            // Counting decides alone whether a row fails for its length, so it must make every
            // decision writing makes, also where a longer keyword reaches back into the text
            // written, which counting only keeps the end of.
            if (measured && *measured != written) {
                throw MorvantError(ErrorNumber::InternalError,
                                   "the row measured is not the row laid out");
            }
            if (written) std::swap(text, laidOut);
        }
        // The finished text alone, before the result is built beside it.
        laidOut = MarkedText();
        text.content = ContentMask();
        rstrResult = RestoreCrLf(withoutTrailingSpaces(text.text));
        return true;
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
}

// Lays out one accepted occurrence: the text before it trimmed (and ended with a line break for
// a word), the keyword on a line of its own at its level, and the first line of what follows
// trimmed and indented. Everything before the keyword is final once written, so the splice only
// appends; the tail's indentation is owed, not written.
void clsMorvant::BreakAtKeyword(RowScan& rScan, const Occurrence& vAt) {
    RowScan& scan = rScan;
    const std::u16string& in = scan.in.text;
    const typKeyword& row = scan.row();

    // The head: out (which ends in a line break, so trailing spaces stop there; the spaces it
    // starts with go), the owed spaces, and in[next, keyword), trimmed of spaces at both ends.
    // What an occurrence in the owed spaces leaves before it is spaces only.
    std::size_t segBegin = scan.next;
    std::size_t segEnd = vAt.owedPart > 0 ? scan.next : vAt.begin;
    while (segEnd > segBegin && in[segEnd - 1] == kSpace) --segEnd;
    const bool outWritten = scan.out.length() > 0;
    if (!outWritten) {
        while (segBegin < segEnd && in[segBegin] == kSpace) ++segBegin;
    }
    const bool segKept = segEnd > segBegin;
    const std::size_t dropped = outWritten ? scan.leading : 0;
    const std::int64_t headLength =
        scan.out.length() - static_cast<std::int64_t>(dropped) +
        static_cast<std::int64_t>(segKept ? scan.owed + (segEnd - segBegin) : 0);
    const char16_t headLast = segKept ? in[segEnd - 1] : kCr;
    const bool headBreak = headLength > 0 && row.intLineHead == 1 && headLast != kCr;

    // The keyword as the query wrote it, in the query's own letter case, on its own line.
    std::size_t wordBegin = vAt.begin;
    std::size_t wordEnd = vAt.end;
    while (wordEnd > wordBegin && in[wordEnd - 1] == kSpace) --wordEnd;
    while (wordBegin < wordEnd && in[wordBegin] == kSpace) ++wordBegin;
    if (!scan.lineIndent) {
        scan.lineIndent = indentSpaces(scan.table, scan.rowIndex, std::int32_t{row.intIndent} - 1);
    }
    const std::int64_t laid = headLength + (headBreak ? 1 : 0) +
                              static_cast<std::int64_t>(*scan.lineIndent + (wordEnd - wordBegin)) +
                              1;

    // The tail: trimmed, stripped of leading line breaks, trimmed again, indented; only its first
    // line moves. The spaces at its end are the text's own end.
    const bool hasTail = vAt.end < scan.end;
    std::size_t tailBegin = vAt.end;
    std::size_t tailEnd = vAt.end;
    std::size_t tailIndent = 0;
    if (hasTail) {
        if (!scan.tailIndent) {
            scan.tailIndent = indentSpaces(scan.table, scan.rowIndex, row.intIndent);
        }
        tailIndent = *scan.tailIndent;
        tailEnd = scan.end;
        while (tailEnd > tailBegin && in[tailEnd - 1] == kSpace) --tailEnd;
        while (tailBegin < tailEnd && in[tailBegin] == kSpace) ++tailBegin;
        tailBegin = tailEnd - StripLeadingCr({in.data() + tailBegin, tailEnd - tailBegin}).size();
        while (tailBegin < tailEnd && in[tailBegin] == kSpace) ++tailBegin;
    }
    checkedPosition(laid + static_cast<std::int64_t>(tailIndent + (tailEnd - tailBegin)));
    checkedPosition(laid + 1);

    scan.out.dropLeadingSpaces(dropped);
    if (segKept) {
        scan.out.spaces(scan.owed);
        scan.out.copy(scan.in, segBegin, segEnd);
    }
    if (headBreak) scan.out.lineBreak();
    scan.out.spaces(*scan.lineIndent);
    scan.out.copy(scan.in, wordBegin, wordEnd);
    scan.out.lineBreak();

    scan.leading = headLength == 0 ? *scan.lineIndent : 0;
    scan.owed = tailIndent;
    scan.next = tailBegin;
    scan.end = tailEnd;
}

}  // namespace pellomar
