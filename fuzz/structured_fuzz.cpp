// The structured layout on inputs libFuzzer evolves, under rows it draws as well: no crash, only
// spacing between tokens changes (StructuredProperties.h), and a second layout with the same rows
// changes nothing. The rows are those the layout promises this for: no keyword twice, none that
// starts or ends with a space.
//
// Input: a byte n, then for each of 1 + n % 8 rows a level byte, a kind byte and a keyword byte:
// below 0xE0 the keyword is one of a list of real SQL keywords and symbols; from 0xE0 on, its low
// four bits are the length of a keyword of random bytes that follows (UTF-8 when they decode,
// else one code unit per byte). What follows the rows is the query (UTF-8, or UTF-16LE when it
// is not UTF-8), with any line breaks.
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Host.h"
#include "MorvantTestSeam.h"
#include "StructuredProperties.h"
#include "Support.h"

using namespace pellomar;

namespace {

constexpr const char16_t* kKeywords[] = {
    u"select",     u"from",
    u"where",      u"and",
    u"or",         u"join",
    u"left join",  u"inner join",
    u"on",         u"using",
    u"group by",   u"order by",
    u"having",     u"union",
    u"union all",  u"except",
    u"with",       u"with recursive",
    u"as",         u"insert into",
    u"values",     u"update",
    u"set",        u"delete from",
    u"delete",     u"merge into",
    u"case",       u"when",
    u"then",       u"else",
    u"end",        u"between",
    u"in",         u"exists",
    u"not",        u"is",
    u"null",       u"limit",
    u"offset",     u"returning",
    u"over",       u"partition by",
    u"window",     u"create",
    u"table",      u"view",
    u"index",      u"function",
    u"grant",      u"alter",
    u"copy",       u"stdin",
    u"distinct",   u"all",
    u"by",         u"do",
    u"conflict",   u"on conflict",
    u"for",        u"time zone",
    u"lateral",    u"filter",
    u"fetch",      u"returns",
    u"language",   u"begin",
    u"e",          u"x",
    u"t",          u"1",
    u",",          u".",
    u"=",          u"<>",
    u"::",         u"+",
    u"||",         u"*",
    u"-",          u"/",
    u"--",         u"/*",
    u"$$",         u"$1",
    u"'",          u"(",
    u")",          u";",
    u"[",          u"\\.",
    u"GROUP   BY", u"Select\tDistinct",
};
constexpr std::size_t kKeywordCount = sizeof(kKeywords) / sizeof(kKeywords[0]);

std::int16_t levelFrom(std::uint8_t b) {
    // Mostly -1..6; now and then one around the nesting limit of 40, or one whose indentation
    // cannot be built, which must fail with its error box rather than lay anything out.
    static constexpr std::int16_t kOdd[] = {7, 12, 39, 40, 41, 100, 8191, 8192};
    return b >= 0xF8 ? kOdd[b - 0xF8] : static_cast<std::int16_t>(b % 8 - 1);
}

std::int16_t kindFrom(std::uint8_t b) {
    // 0 symbol, 1 word, 2 leading word; any other value is a symbol too.
    return b % 4 == 3 ? static_cast<std::int16_t>(b / 4 - 8) : static_cast<std::int16_t>(b % 4);
}

// The keyword as the layout compares it: lower case, each run of spacing one space.
std::u16string comparable(std::u16string_view keyword) {
    std::u16string out;
    for (const char16_t c : keyword) {
        if (c == u' ' || c == u'\t' || c == u'\r') {
            if (!out.empty() && out.back() != u' ') out.push_back(u' ');
        } else {
            out.push_back(platform::lowerUnit(c));
        }
    }
    if (!out.empty() && out.back() == u' ') out.pop_back();
    return out;
}

// A row within the promise: not empty, no space at either end, no line break (no keyword file
// line can hold one), and no keyword another row already has.
bool acceptable(const KeywordTable& rows, std::u16string_view keyword) {
    if (keyword.empty() || keyword.front() == u' ' || keyword.back() == u' ') return false;
    if (keyword.find_first_of(u"\r\n") != std::u16string_view::npos) return false;
    const std::u16string key = comparable(keyword);
    for (const typKeyword& row : rows) {
        if (comparable(row.strWord) == key) return false;
    }
    return true;
}

struct Outcome {
    bool ok = false;
    std::u16string text;
    std::vector<ErrorRecord> boxes;
};

Outcome layOut(const std::u16string& query, const KeywordTable& rows) {
    Outcome o;
    const platform::RequestScope request(
        {[&o](const ErrorRecord& r) { o.boxes.push_back(r); }, {}});
    o.ok = MorvantTestSeam::ArrangeText(query, rows, o.text);
    return o;
}

// The text with line breaks, TABs and other control characters written as escapes, so that the
// whole of it reaches the terminal.
std::string shown(std::u16string_view text) {
    std::u16string out;
    for (const char16_t c : text) {
        if (c >= 0x20 || c == u'\r' || c == u'\n' || c == u'\t') {
            out.push_back(c);
        } else {
            static constexpr char16_t kHex[] = u"0123456789abcdef";
            out += u"\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return testing_support::visible(out);
}

[[noreturn]] void fail(const char* what, const std::string& detail, const KeywordTable& rows,
                       const std::u16string& query) {
    std::fprintf(stderr, "property broken: %s\n%s\nrows:\n", what, detail.c_str());
    for (const typKeyword& row : rows) {
        std::fprintf(stderr, "  %s,%d,%d\n", shown(row.strWord).c_str(), row.intIndent,
                     row.intLineHead);
    }
    std::fprintf(stderr, "query: %s\n", shown(query).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.empty()) return 0;
    const std::size_t count = 1 + static_cast<std::uint8_t>(in[0]) % 8;
    in.remove_prefix(1);
    KeywordTable rows;
    rows.layout = LayoutMode::Structured;
    for (std::size_t i = 0; i < count && in.size() >= 3; ++i) {
        typKeyword row;
        row.intIndent = levelFrom(static_cast<std::uint8_t>(in[0]));
        row.intLineHead = kindFrom(static_cast<std::uint8_t>(in[1]));
        const auto pick = static_cast<std::uint8_t>(in[2]);
        in.remove_prefix(3);
        if (pick < 0xE0) {
            row.strWord = kKeywords[pick % kKeywordCount];
        } else {
            const std::string_view bytes =
                in.substr(0, std::min<std::size_t>(in.size(), pick % 16));
            in.remove_prefix(bytes.size());
            auto text = platform::decodeUtf8(bytes);
            row.strWord = text ? *text : std::u16string(bytes.begin(), bytes.end());
        }
        if (acceptable(rows, row.strWord)) rows.push_back(std::move(row));
    }
    if (rows.empty()) return 0;
    const std::u16string query = fuzzing::textFrom(in);
    // A deep level indents every line by up to 32,764 spaces: short queries only, so that the
    // runs stay fast under the sanitizers.
    if (query.size() > 64) {
        for (typKeyword& row : rows) {
            if (row.intIndent > 100) row.intIndent = 8;
        }
    }

    const Outcome once = layOut(query, rows);
    if (!once.ok) {
        // Only a level whose indentation cannot be built may fail a layout.
        fuzzing::require(once.boxes.size() == 1, "a failed layout shows one box");
        if (once.boxes.front().Number != 6) {
            fail("only an overflow fails a layout", formatError(once.boxes.front()), rows, query);
        }
        return 0;
    }
    fuzzing::require(once.boxes.empty(), "a layout that succeeds shows no box");
    if (std::string broken = testing_support::structuredViolation(query, once.text);
        !broken.empty()) {
        fail("only spacing between tokens changes", broken, rows, query);
    }
    const Outcome twice = layOut(once.text, rows);
    if (!twice.ok || twice.text != once.text) {
        fail("a second layout changes nothing",
             "first:  " + shown(once.text) + "\nsecond: " + shown(twice.text), rows, query);
    }
    return 0;
}
