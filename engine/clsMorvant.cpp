#include "clsMorvant.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "Checked.h"
#include "Host.h"
#include "PassSteps.h"
#include "TextCodec.h"
#include "basCsv.h"

namespace pellomar {

namespace {

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';
constexpr char16_t kTab = u'\t';
constexpr char16_t kSpace = u' ';

std::int32_t lengthOf(const std::u16string& text) {
    return checkedPosition(static_cast<std::int64_t>(text.size()));
}

// The code units that lower to c (c itself among them when it stays itself), at most four; an
// empty answer when there are more.
std::vector<char16_t> unitsLoweringTo(char16_t c) {
    // Few code units change when lowered: their inverse, sorted, found once.
    static const std::vector<std::pair<char16_t, char16_t>> changed = [] {
        const char16_t* lower = platform::lowerTable();
        std::vector<std::pair<char16_t, char16_t>> pairs;
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            if (lower[u] != u) pairs.emplace_back(lower[u], static_cast<char16_t>(u));
        }
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }();
    std::vector<char16_t> units;
    if (platform::lowerTable()[c] == c) units.push_back(c);
    auto it = std::lower_bound(changed.begin(), changed.end(), std::pair<char16_t, char16_t>(c, 0));
    for (; it != changed.end() && it->first == c; ++it) units.push_back(it->second);
    if (units.size() > 4) units.clear();
    return units;
}

// Finds the lowered keyword in a text that is lowered as it is read, one code unit through the
// host's table, so that no lowered copy of a text of many megabytes is ever kept. Candidates are
// found by the keyword's first and last characters in every form that lowers to them (at most
// four each, such as «k», «K» and the Kelvin sign), tested a block of code units at a time in a
// loop the compiler turns into vector instructions; only candidates are lowered and compared
// whole. Should a host lower more than four code units to one character, candidates are found by
// lowering instead, more slowly.
class KeywordSearch {
  public:
    explicit KeywordSearch(std::u16string lowered)
        : needle_(std::move(lowered)), lower_(platform::lowerTable()) {
        const std::vector<char16_t> first = unitsLoweringTo(needle_.front());
        const std::vector<char16_t> last = unitsLoweringTo(needle_.back());
        byUnits_ = !first.empty() && !last.empty();
        for (std::size_t j = 0; byUnits_ && j < 4; ++j) {
            first_[j] = first[std::min(j, first.size() - 1)];
            last_[j] = last[std::min(j, last.size() - 1)];
        }
    }

    const std::u16string& needle() const { return needle_; }

    // Index of the first occurrence that starts at or after from and ends by end, or npos.
    std::size_t find(const char16_t* text, std::size_t from, std::size_t end) const {
        const std::size_t m = needle_.size();
        if (from > end || end - from < m) return npos;
        return byUnits_ ? findFrom<true>(text, from, end - m + 1)
                        : findFrom<false>(text, from, end - m + 1);
    }

    // Whether the keyword from its code unit skip on matches text.
    bool matchesFrom(const char16_t* text, std::size_t skip) const {
        for (std::size_t j = skip; j < needle_.size(); ++j) {
            if (lower_[text[j - skip]] != needle_[j]) return false;
        }
        return true;
    }

    static constexpr std::size_t npos = std::u16string::npos;

  private:
    template <bool kByUnits>
    bool candidate(const char16_t* at) const {
        const char16_t a = at[0];
        const char16_t b = at[needle_.size() - 1];
        if constexpr (kByUnits) {
            return ((a == first_[0]) | (a == first_[1]) | (a == first_[2]) | (a == first_[3])) &
                   ((b == last_[0]) | (b == last_[1]) | (b == last_[2]) | (b == last_[3]));
        } else {
            return (lower_[a] == needle_.front()) & (lower_[b] == needle_.back());
        }
    }

    // Occurrences starting at from up to (not including) stop.
    template <bool kByUnits>
    std::size_t findFrom(const char16_t* text, std::size_t from, std::size_t stop) const {
        constexpr std::size_t kBlock = 32;
        std::size_t i = from;
        for (; i + kBlock <= stop; i += kBlock) {
            unsigned any = 0;
            for (std::size_t j = 0; j < kBlock; ++j) {
                any |= candidate<kByUnits>(text + i + j) ? 1u : 0u;
            }
            if (any == 0) continue;
            for (std::size_t j = 0; j < kBlock; ++j) {
                if (candidate<kByUnits>(text + i + j) && matchesFrom(text + i + j, 0)) {
                    return i + j;
                }
            }
        }
        for (; i < stop; ++i) {
            if (candidate<kByUnits>(text + i) && matchesFrom(text + i, 0)) return i;
        }
        return npos;
    }

    std::u16string needle_;
    const char16_t* lower_;
    std::array<char16_t, 4> first_{};
    std::array<char16_t, 4> last_{};
    bool byUnits_ = false;
};

// Bytes per position of the working text: a code unit and its content flag.
constexpr std::size_t kCodeUnitBytes = sizeof(char16_t);
constexpr std::size_t kUnitBytes = kCodeUnitBytes + 1;
constexpr std::size_t kMappedBlockBytes = std::size_t{32} << 20;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Resizes a block as realloc does; the old block stays owned when that fails.
void resizeBlock(std::unique_ptr<char, FreeDeleter>& block, std::size_t bytes) {
    char* old = block.release();
    char* fresh = static_cast<char*>(std::realloc(old, bytes));
    block.reset(fresh != nullptr ? fresh : old);
    if (fresh == nullptr) throw std::bad_alloc();
}

}  // namespace

// The working text of the pass: one block holding the code units and, behind them, the content
// flags (a single allocation, large enough that the allocator maps it on its own and gives it
// back whole). While a row runs, each of the two arrays holds three parts:
//   [front, out)   what the row has laid out so far; it is never read again, except for the
//                  spaces at its start, which the next splice trims, and its last character;
//   pending        spaces of indentation that the last splice owes in front of the rest, not yet
//                  written (the next splice may trim them away);
//   [rest, end)    the row's input that the scan has not passed yet.
// Between rows the whole text is [rest, end), at the back of the buffer, so that the next row can
// write its output from the front while it reads ahead of it. The gap between out and rest
// shrinks only by what splices insert; the buffer grows (realloc, which large blocks do without
// copying) before a splice could close it. Positions of the pass are 1-based positions in
// front..out, then pending, then rest..end; `at` below counts from the start of pending.
//
// A measuring cursor goes through the same steps without writing anything: it tells, in time
// proportional to the text, whether a row would push the text past 32-bit positions, before the
// row spends the memory.
struct ArrangeCursor {
    static constexpr std::size_t kSlack = 4096;
    static constexpr std::size_t kShortMove = 32;
    std::unique_ptr<char, FreeDeleter>* block = nullptr;
    std::size_t* capacity = nullptr;
    std::size_t front = 0;
    std::size_t out = 0;
    std::size_t pending = 0;
    std::size_t rest = 0;
    std::size_t end = 0;
    // Of the laid-out part, also while measuring: its length, last character and the spaces it
    // starts with (only a first line set at a positive level starts with any).
    std::int64_t outLength = 0;
    char16_t outLast = 0;
    std::uint8_t outLastContent = 0;
    std::size_t outLeading = 0;
    bool measuring = false;
    // The two indentations of the current row, in spaces, measured (and their levels checked)
    // when the row's keyword is first found.
    std::optional<std::size_t> lineIndent;
    std::optional<std::size_t> tailIndent;

    char16_t* t() const { return reinterpret_cast<char16_t*>(block->get()); }
    std::uint8_t* c() const {
        return reinterpret_cast<std::uint8_t*>(block->get()) + *capacity * sizeof(char16_t);
    }
    std::int64_t length() const {
        return outLength + static_cast<std::int64_t>(pending + (end - rest));
    }

    // Room for need more code units between the laid-out part and the rest.
    // The gap is kept some kilobytes wide: moving text down by only a few bytes over a long
    // stretch is many times slower than moving it further (the processor's fast string copy
    // gives up on close overlaps).
    void reserveGap(std::size_t need) {
        need += kSlack;
        if (rest - out >= need) return;
        const std::size_t restLength = end - rest;
        const std::size_t grown = std::max(*capacity + need, *capacity + *capacity / 8);
        resizeBlock(*block, grown * kUnitBytes);
        // The flags move up first (both of their parts, to higher addresses than they had), then
        // the code units of the rest into the room the flags left.
        std::uint8_t* oldFlags = c();
        *capacity = grown;
        const std::size_t newRest = grown - restLength;
        std::memmove(c() + newRest, oldFlags + rest, restLength);
        std::memmove(c() + front, oldFlags + front, out - front);
        std::memmove(t() + newRest, t() + rest, restLength * sizeof(char16_t));
        rest = newRest;
        end = grown;
    }

    void putSpaces(std::size_t count) {
        std::fill_n(t() + out, count, kSpace);
        std::fill_n(c() + out, count, std::uint8_t{0});
        out += count;
    }
    void putBreak() {
        t()[out] = kCr;
        c()[out] = 0;
        ++out;
    }
    // Moves [from, to) of the rest down to out; the gap keeps the target at or before the source.
    void putMoved(std::size_t from, std::size_t to) {
        const std::size_t n = to - from;
        if (n <= kShortMove) {
            // Most stretches between keywords are a few words long: a plain loop beats a call.
            for (std::size_t i = 0; i < n; ++i) {
                t()[out + i] = t()[from + i];
                c()[out + i] = c()[from + i];
            }
        } else {
            std::memmove(t() + out, t() + from, n * sizeof(char16_t));
            std::memmove(c() + out, c() + from, n);
        }
        out += n;
    }

    // Joins the laid-out part, the owed indentation and the rest into one text at the back.
    void settle() {
        if (outLength == 0 && pending == 0) return;
        reserveGap(pending);
        const std::size_t laid = out - front;
        const std::size_t start = rest - pending - laid;
        std::memmove(t() + start, t() + front, laid * sizeof(char16_t));
        std::memmove(c() + start, c() + front, laid);
        std::fill_n(t() + rest - pending, pending, kSpace);
        std::fill_n(c() + rest - pending, pending, std::uint8_t{0});
        rest = start;
        front = out = 0;
        pending = 0;
        outLength = 0;
        outLast = 0;
        outLastContent = 0;
        outLeading = 0;
    }
};

namespace {

// Fields 2 and 3: a whole decimal number, optionally signed, spaces around it allowed.
std::int16_t toInt16(std::u16string_view field, int column, const std::string& where) {
    std::size_t b = 0;
    std::size_t e = field.size();
    while (b < e && (field[b] == kSpace || field[b] == kTab)) ++b;
    while (e > b && (field[e - 1] == kSpace || field[e - 1] == kTab)) --e;
    bool negative = false;
    if (b < e && (field[b] == u'+' || field[b] == u'-')) negative = field[b++] == u'-';
    const std::string shown = "field " + std::to_string(column) + " \"" + shownText(field) + "\"";
    if (b == e) {
        throw MorvantError(ErrorNumber::TypeMismatch,
                           where + ", " + shown + " is not a whole number");
    }
    std::int64_t value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (field[i] < u'0' || field[i] > u'9') {
            throw MorvantError(ErrorNumber::TypeMismatch,
                               where + ", " + shown + " is not a whole number");
        }
        value = std::min<std::int64_t>(value * 10 + (field[i] - u'0'), 1'000'000);
    }
    if (negative) value = -value;
    if (value < INT16_MIN || value > INT16_MAX) {
        throw MorvantError(ErrorNumber::Overflow,
                           where + ", " + shown + " is outside -32768..32767");
    }
    return static_cast<std::int16_t>(value);
}

std::string tooManyLines(const std::filesystem::path& path) {
    return path.string() +
           " has more than 32767 lines (the header and an empty last line count too)";
}

}  // namespace

std::u16string clsMorvant::CArrange(const std::u16string& vstrQry) {
    std::u16string result;
    KeywordTable tblKeywords;
    if (LoadKeywords(tblKeywords)) {
        std::u16string arranged;
        if (ArrangeText(vstrQry, tblKeywords, arranged)) result = std::move(arranged);
    }
    return result;
}

bool clsMorvant::LoadKeywords(KeywordTable& rtblKeywords) {
    std::u16string strText;
    if (!ReadKeywordFile(strText)) return false;
    return ParseKeywords(strText, rtblKeywords);
}

bool clsMorvant::ReadKeywordFile(std::u16string& rstrText) {
    // Finding the file is not guarded: if the program cannot find itself, nothing here can help.
    const std::filesystem::path path = platform::keywordFilePath();
    std::optional<platform::KeywordFile> file;
    try {
        file.emplace(path);
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
    // A failing read after a successful open is not ours to handle: it ends the request.
    const std::string bytes = file->readAll();
    file.reset();
    try {
        rstrText = platform::decodeKeywordText(bytes, path);
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
    return true;
}

bool clsMorvant::ParseKeywords(const std::u16string& vstrText, KeywordTable& rtblKeywords) {
    try {
        const std::filesystem::path path = platform::keywordFilePath();
        std::vector<std::u16string_view> lines;
        if (!vstrText.empty()) {
            std::u16string_view rest = vstrText;
            for (;;) {
                const std::size_t at = rest.find(u"\r\n");
                lines.push_back(rest.substr(0, at));
                if (at == std::u16string_view::npos) break;
                rest.remove_prefix(at + 2);
            }
        }
        rtblKeywords.source.file = path;
        // Lone CRs end no line: such a file is one header line and gives no rows, which the
        // pass then reports; its message says why.
        rtblKeywords.source.loneCrLineEnds =
            lines.size() == 1 && lines.front().find(u'\r') != std::u16string_view::npos;
        const auto highest = static_cast<std::int64_t>(lines.size()) - 1;
        if (highest > INT16_MAX) throw MorvantError(ErrorNumber::Overflow, tooManyLines(path));
        const auto n = static_cast<std::int16_t>(highest);
        // The line counter is 16-bit and advanced before the bound test, so a file of exactly
        // 32768 lines fails after its last line, as a larger one fails before its first.
        std::int16_t i = 1;
        while (i <= n) {
            std::u16string_view line = lines[static_cast<std::size_t>(i)];
            while (!line.empty() && line.front() == kSpace) line.remove_prefix(1);
            while (!line.empty() && line.back() == kSpace) line.remove_suffix(1);
            if (!line.empty()) {
                const std::string where = path.string() + " line " + std::to_string(i + 1);
                std::vector<std::u16string> fields;
                try {
                    fields = basCsv::SplitCsv(line);
                } catch (const MorvantError& e) {
                    if (e.record().Number != static_cast<std::int32_t>(ErrorNumber::Overflow))
                        throw;
                    throw MorvantError(ErrorNumber::Overflow,
                                       where + " has 32768 fields or more: " + shownText(line));
                }
                if (fields.size() < 3) {
                    throw MorvantError(ErrorNumber::SubscriptOutOfRange,
                                       where + " has fewer than three fields: " + shownText(line));
                }
                typKeyword row;
                row.strWord = fields[0];
                row.intIndent = toInt16(fields[1], 2, where + " (" + shownText(line) + ")");
                row.intLineHead = toInt16(fields[2], 3, where + " (" + shownText(line) + ")");
                rtblKeywords.push_back(std::move(row));
                rtblKeywords.source.lines.push_back(std::int32_t{i} + 1);
                rtblKeywords.source.texts.emplace_back(line);
            }
            if (i == INT16_MAX) throw MorvantError(ErrorNumber::Overflow, tooManyLines(path));
            ++i;
        }
        return true;
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
}

bool clsMorvant::ArrangeText(const std::u16string& vstrQry, const KeywordTable& vtblKeywords,
                             std::u16string& rstrResult) {
    try {
        std::unique_ptr<char, FreeDeleter> block;
        std::size_t capacity = 0;
        ArrangeCursor work;
        work.block = &block;
        work.capacity = &capacity;
        {
            MarkedText normal = NormalizeText(vstrQry);
            const std::size_t n = normal.text.size();
            // Some room in front, so that the first splices need not grow the buffer at once.
            capacity = n + n / 16 + 256;
            // A block of 32 MiB or more is one that glibc's malloc always maps on its own (its
            // threshold for that never rises above 32 MiB): it grows by remapping, not copying,
            // and goes back to the system whole when freed, where a smaller one could stay in the
            // heap. Pages never written cost nothing; texts too small for it to matter skip it.
            if (capacity * kUnitBytes >= kMappedBlockBytes / 8) {
                capacity = std::max(capacity, kMappedBlockBytes / kUnitBytes + 1);
            }
            work.rest = capacity - n;
            work.end = capacity;
            block.reset(static_cast<char*>(std::malloc(capacity * kUnitBytes)));
            if (!block) throw std::bad_alloc();
            std::copy(normal.text.begin(), normal.text.end(), work.t() + work.rest);
            std::u16string().swap(normal.text);  // let go before the flags are copied
            std::copy(normal.content.begin(), normal.content.end(), work.c() + work.rest);
        }
        if (vtblKeywords.empty()) throw emptyTableError(vtblKeywords.source);
        const auto last = checkedNarrow<std::int16_t>(
            static_cast<std::int64_t>(vtblKeywords.size()) - 1, "the keyword row index");
        for (std::int32_t k = 0; k <= last; ++k) {
            const auto rowIndex = static_cast<std::size_t>(k);
            const typKeyword& row = vtblKeywords[rowIndex];
            if (rowIsSkipped(row.strWord)) continue;
            std::u16string needle = row.strWord;
            platform::lowerInPlace(needle);
            const KeywordSearch search(std::move(needle));
            const std::int32_t wordLength = lengthOf(row.strWord);
            const std::size_t m = row.strWord.size();
            const std::size_t leadingSpaces = search.needle().find_first_not_of(kSpace);

            // The first occurrence at or after at, counted from the start of the owed
            // indentation. An occurrence that starts inside that indentation must begin with as
            // many of the keyword's leading spaces as remain of it and go on in the rest, where
            // its first other character meets the rest's first other character: there is at most
            // one such place.
            const auto findFrom = [&](const ArrangeCursor& cur,
                                      std::size_t at) -> std::optional<std::size_t> {
                const char16_t* t = cur.t();
                const std::size_t restLength = cur.end - cur.rest;
                std::size_t from = cur.rest + (at > cur.pending ? at - cur.pending : 0);
                if (at < cur.pending) {
                    std::size_t spaces = 0;
                    while (spaces < leadingSpaces && spaces < restLength &&
                           t[cur.rest + spaces] == kSpace) {
                        ++spaces;
                    }
                    if (spaces < leadingSpaces && cur.pending + spaces >= leadingSpaces) {
                        const std::size_t candidate = cur.pending + spaces - leadingSpaces;
                        if (candidate >= at && spaces + (m - leadingSpaces) <= restLength &&
                            search.matchesFrom(t + cur.rest + spaces, leadingSpaces)) {
                            return candidate;
                        }
                    }
                    from = cur.rest;
                }
                const std::size_t hit = search.find(t, from, cur.end);
                if (hit == KeywordSearch::npos) return std::nullopt;
                return cur.pending + (hit - cur.rest);
            };

            // One row's scan, as the direct pass makes it: a word needs delimiters on both sides,
            // an occurrence touching a literal or comment is passed over, and after a splice the
            // scan goes on right behind the keyword's line.
            const auto scanRow = [&](ArrangeCursor& cur) {
                std::size_t at = 0;
                while (cur.outLength + static_cast<std::int64_t>(at) + 1 < cur.length()) {
                    const std::optional<std::size_t> found = findFrom(cur, at);
                    if (!found) break;
                    const std::size_t hit = *found;
                    const std::int64_t pos = cur.outLength + static_cast<std::int64_t>(hit) + 1;
                    const std::int32_t after = checkedPosition(pos + wordLength);
                    const std::size_t restLength = cur.end - cur.rest;
                    const char16_t* t = cur.t();
                    const std::uint8_t* flags = cur.c();
                    // The character before the occurrence: the laid-out part's last, a space of
                    // the owed indentation, or one of the rest.
                    char16_t before = 0;
                    std::uint8_t beforeContent = 0;
                    const bool atStart = pos <= 1;
                    if (!atStart) {
                        if (hit == 0) {
                            before = cur.outLast;
                            beforeContent = cur.outLastContent;
                        } else if (hit - 1 < cur.pending) {
                            before = kSpace;
                        } else {
                            before = t[cur.rest + hit - 1 - cur.pending];
                            beforeContent = flags[cur.rest + hit - 1 - cur.pending];
                        }
                    }
                    const std::size_t behindAt = hit + m;  // counted like hit
                    const bool behindExists = behindAt < cur.pending + restLength;
                    bool rejected = false;
                    if (row.intLineHead == 1) {
                        const std::u16string_view b =
                            atStart ? std::u16string_view() : std::u16string_view(&before, 1);
                        const std::u16string_view a =
                            behindExists
                                ? std::u16string_view(t + cur.rest + behindAt - cur.pending, 1)
                                : std::u16string_view();
                        rejected = !IsDelimiter(b) || !IsDelimiter(a);
                    }
                    if (!rejected) {
                        // From the character before it to the one behind it, nothing may be the
                        // inside of a literal or comment.
                        bool touches = beforeContent != 0;
                        const std::size_t first = std::max(hit, cur.pending);
                        const std::size_t lastAt =
                            behindExists ? behindAt : cur.pending + restLength - 1;
                        for (std::size_t v = first; !touches && v <= lastAt; ++v) {
                            touches = flags[cur.rest + v - cur.pending] != 0;
                        }
                        rejected = touches;
                    }
                    if (rejected) {
                        checkedPosition(std::int64_t{after} + 1);
                        at = hit + m + 1;
                        continue;
                    }
                    // The levels are checked when the row's keyword is first found, so that a deep
                    // row that never matches does no harm.
                    if (!cur.lineIndent) {
                        cur.lineIndent =
                            indentSpaces(vtblKeywords, rowIndex, std::int32_t{row.intIndent} - 1);
                    }
                    if (behindExists && !cur.tailIndent) {
                        cur.tailIndent = indentSpaces(vtblKeywords, rowIndex, row.intIndent);
                    }
                    BreakAtKeyword(cur, row, hit);
                    at = 0;
                }
            };

            // A row can only push the text past 32-bit positions if every possible splice did
            // its most: each splice uses up at least the keyword's characters from its first
            // non-space on, and adds at most two line breaks and two indentations. Only then is
            // the row measured first, without writing, so that the overflow error comes before
            // gigabytes are spent on a text that cannot be.
            const auto clampLevel = [](std::int64_t level) {
                return std::clamp<std::int64_t>(level, 0, 8191) * 4;
            };
            const std::int64_t splices =
                static_cast<std::int64_t>(work.end - work.rest) /
                static_cast<std::int64_t>(std::max<std::size_t>(1, m - leadingSpaces));
            const std::int64_t growth =
                clampLevel(std::int64_t{row.intIndent} - 1) + clampLevel(row.intIndent) + 2;
            work.lineIndent.reset();
            work.tailIndent.reset();
            if (work.length() + splices * growth + 2 > INT32_MAX) {
                ArrangeCursor measure = work;
                measure.measuring = true;
                scanRow(measure);
            }
            scanRow(work);
            work.settle();
        }
        // The finished text alone, at the block's start and the flags given back, before the
        // result is built beside it.
        const std::size_t length = work.end - work.rest;
        std::memmove(work.t(), work.t() + work.rest, length * sizeof(char16_t));
        resizeBlock(block, std::max<std::size_t>(length, 1) * kCodeUnitBytes);
        rstrResult = RestoreCrLf(withoutTrailingSpaces(
            std::u16string_view(reinterpret_cast<const char16_t*>(block.get()), length)));
        return true;
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
}

MarkedText clsMorvant::NormalizeText(std::u16string_view vstrText) {
    // Built in place, one copy of the text at a time: pasted scripts run to many megabytes.
    MarkedText out;
    // A large text gets a block the allocator maps on its own (see kMappedBlockBytes), so that
    // it goes back to the system when the pass has copied it, instead of staying in the heap.
    if (vstrText.size() * kCodeUnitBytes >= kMappedBlockBytes / 8) {
        out.text.reserve(std::max(vstrText.size(), kMappedBlockBytes / kCodeUnitBytes));
    }
    out.text.assign(vstrText);
    std::u16string& t = out.text;
    std::size_t n = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[n++] = t[i];
        if (t[i] == kCr && i + 1 < t.size() && t[i + 1] == kLf) ++i;
    }
    t.resize(n);
    out.content = markContent(t);
    // A TAB inside a literal or comment is the user's text and stays; elsewhere it is layout.
    const std::u16string tabWidth = Indent(1, u"");
    std::size_t tabs = 0;
    for (std::size_t i = 0; i < n; ++i) tabs += t[i] == kTab && !out.content[i] ? 1 : 0;
    // Too long a text is refused before its widened copy is built.
    const std::int64_t length =
        static_cast<std::int64_t>(n) + static_cast<std::int64_t>(tabs * (tabWidth.size() - 1));
    checkedPosition(length);
    if (tabs == 0) return out;
    t.resize(static_cast<std::size_t>(length));
    out.content.resize(static_cast<std::size_t>(length));
    // Widened from the back, so that nothing is read after it has been overwritten.
    std::size_t to = static_cast<std::size_t>(length);
    for (std::size_t from = n; from-- > 0;) {
        if (t[from] == kTab && !out.content[from]) {
            to -= tabWidth.size();
            std::copy(tabWidth.begin(), tabWidth.end(),
                      t.begin() + static_cast<std::ptrdiff_t>(to));
            std::fill_n(out.content.begin() + static_cast<std::ptrdiff_t>(to), tabWidth.size(), 0);
        } else {
            --to;
            t[to] = t[from];
            out.content[to] = out.content[from];
        }
    }
    return out;
}

std::u16string clsMorvant::RestoreCrLf(std::u16string_view vstrText) {
    const auto breaks = static_cast<std::size_t>(std::count(vstrText.begin(), vstrText.end(), kCr));
    std::u16string out(vstrText.size() + breaks, kLf);
    std::size_t to = 0;
    for (const char16_t c : vstrText) {
        out[to++] = c;
        if (c == kCr) ++to;  // the LF is already there
    }
    return out;
}

bool clsMorvant::IsDelimiter(std::u16string_view vstrChar) {
    return vstrChar.empty() || vstrChar == u" " || vstrChar == u"\t" || vstrChar == u"\r";
}

// Splices one accepted occurrence, `vlngAt` code units after the start of the owed indentation:
// the text before it is trimmed (and ended with a line break for a word), the keyword set on its
// own line at its level, and the first line of what follows trimmed and indented. Everything
// before the occurrence is already in its final place, so the splice only appends.
void clsMorvant::BreakAtKeyword(ArrangeCursor& rCursor, const typKeyword& vKeyword,
                                std::size_t vlngAt) {
    ArrangeCursor& cur = rCursor;
    const char16_t* t = cur.t();
    const std::size_t m = vKeyword.strWord.size();
    // Where the keyword's code units lie in the rest; of an occurrence that starts in the owed
    // indentation only the part in the rest.
    const bool inPending = vlngAt < cur.pending;
    const std::size_t wordStart = inPending ? cur.rest : cur.rest + (vlngAt - cur.pending);
    const std::size_t wordEnd = inPending ? cur.rest + m - (cur.pending - vlngAt) : wordStart + m;

    // The head: the laid-out part (which ends in a line break, so trailing spaces stop there;
    // its leading spaces go), the owed indentation and the rest up to the keyword, trimmed.
    std::size_t segBegin = cur.rest;
    std::size_t segEnd = wordStart;
    while (segEnd > segBegin && t[segEnd - 1] == kSpace) --segEnd;
    if (cur.outLength == 0) {
        while (segBegin < segEnd && t[segBegin] == kSpace) ++segBegin;
    }
    const bool segKept = segEnd > segBegin;
    const std::size_t keptPending = segKept ? cur.pending : 0;
    const std::size_t leadingDropped = cur.outLength > 0 ? cur.outLeading : 0;
    const std::int64_t headLength = cur.outLength - static_cast<std::int64_t>(leadingDropped) +
                                    static_cast<std::int64_t>(keptPending + (segEnd - segBegin));
    const char16_t headLast = segKept ? t[segEnd - 1] : cur.outLast;
    const bool headBreak = headLength > 0 && vKeyword.intLineHead == 1 && headLast != kCr;

    // The keyword as the query wrote it, in the query's own letter case.
    const std::u16string_view word = [&] {
        std::u16string_view w(t + wordStart, wordEnd - wordStart);
        while (!w.empty() && w.back() == kSpace) w.remove_suffix(1);
        while (!w.empty() && w.front() == kSpace) w.remove_prefix(1);
        return w;
    }();
    // The caller has checked the levels and measured the indentations (cur.lineIndent, and
    // cur.tailIndent when there is a tail).
    const std::size_t lineLength = *cur.lineIndent + word.size() + 1;

    // The tail: trimmed, stripped of leading line breaks, trimmed again, indented; only its
    // first line moves. Trailing spaces are the text's own end.
    const bool hasTail = wordEnd < cur.end;
    std::size_t tailBegin = wordEnd;
    std::size_t tailEnd = wordEnd;
    std::size_t tailIndent = 0;
    if (hasTail) {
        tailIndent = *cur.tailIndent;
        tailEnd = cur.end;
        while (tailEnd > wordEnd && t[tailEnd - 1] == kSpace) --tailEnd;
        while (tailBegin < tailEnd && t[tailBegin] == kSpace) ++tailBegin;
        tailBegin = tailEnd - StripLeadingCr({t + tailBegin, tailEnd - tailBegin}).size();
        while (tailBegin < tailEnd && t[tailBegin] == kSpace) ++tailBegin;
    }
    const std::int64_t laid =
        headLength + (headBreak ? 1 : 0) + static_cast<std::int64_t>(lineLength);
    checkedPosition(laid +
                    static_cast<std::int64_t>(hasTail ? tailIndent + (tailEnd - tailBegin) : 0));
    checkedPosition(laid + 1);

    if (!cur.measuring) {
        const std::size_t wordFrom = static_cast<std::size_t>(word.data() - t);
        const std::size_t restBefore = cur.rest;
        cur.reserveGap(keptPending + *cur.lineIndent + 2);
        // Growing moves the rest, and every index into it, by the same amount.
        const std::size_t moved = cur.rest - restBefore;
        cur.front += leadingDropped;
        if (segKept) {
            cur.putSpaces(keptPending);
            cur.putMoved(segBegin + moved, segEnd + moved);
        }
        if (headBreak) cur.putBreak();
        cur.putSpaces(*cur.lineIndent);
        cur.putMoved(wordFrom + moved, wordFrom + moved + word.size());
        cur.putBreak();
        tailBegin += moved;
        tailEnd += moved;
    }
    cur.outLeading = headLength == 0 ? *cur.lineIndent : 0;
    cur.outLength = laid;
    cur.outLast = kCr;
    cur.outLastContent = 0;
    cur.rest = tailBegin;
    cur.end = tailEnd;
    cur.pending = hasTail ? tailIndent : 0;
}

std::u16string_view clsMorvant::StripLeadingCr(std::u16string_view vstrText) {
    while (!vstrText.empty() && vstrText.front() == kCr) vstrText.remove_prefix(1);
    return vstrText;
}

std::u16string clsMorvant::Indent(std::int16_t vintLevel, std::u16string_view vstrText) {
    if (vintLevel > 8191 || vintLevel < -8192) {
        throw MorvantError(ErrorNumber::Overflow,
                           "indent level " + std::to_string(vintLevel) + " is outside -8192..8191");
    }
    const int spaces = vintLevel * 4;
    std::u16string out(spaces > 0 ? static_cast<std::size_t>(spaces) : 0, kSpace);
    out += vstrText;
    return out;
}

void clsMorvant::ShowError(const ErrorRecord& vErr) {
    platform::showErrorBox(vErr);
}

}  // namespace pellomar
