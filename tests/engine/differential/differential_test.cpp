#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "MorvantTestSeam.h"
#include "ReferenceArrange.h"
#include "SplitMix64.h"
#include "Support.h"

namespace pellomar {
namespace {

// Lower-casing beyond A-Z follows the locale; in a UTF-8 one more code units lower to one letter
// (the Kelvin sign to «k», «İ» to «i»), which the keyword search must find as the direct pass does.
// Set before anything builds the lower-case table.
const bool kUtf8Locale = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;

using testing_support::KeywordDir;
using testing_support::visible;

// What one layout request produced: the truth value, the text and every box, as «number:text».
struct Outcome {
    bool ok = false;
    std::u16string text;
    std::vector<std::string> boxes;
};

Outcome fastPass(const std::u16string& query, const KeywordTable& rows) {
    const KeywordDir dir;
    Outcome o;
    o.ok = MorvantTestSeam::ArrangeText(query, rows, o.text);
    o.boxes = dir.boxes();
    return o;
}

Outcome referencePass(const std::u16string& query, const KeywordTable& rows) {
    const KeywordDir dir;
    Outcome o;
    o.ok = referenceArrangeText(query, rows, o.text);
    o.boxes = dir.boxes();
    return o;
}

std::string describe(const KeywordTable& rows, const std::u16string& query) {
    std::string s = "rows:";
    for (const typKeyword& r : rows) {
        s += " [" + visible(r.strWord) + " " + std::to_string(r.intIndent) + " " +
             std::to_string(r.intLineHead) + "]";
    }
    return s + "\nquery: " + visible(query);
}

// Runs both passes and reports the first difference; returns whether they agreed.
bool agree(const KeywordTable& rows, const std::u16string& query) {
    const Outcome fast = fastPass(query, rows);
    const Outcome ref = referencePass(query, rows);
    EXPECT_EQ(fast.ok, ref.ok) << describe(rows, query);
    EXPECT_EQ(visible(fast.text), visible(ref.text)) << describe(rows, query);
    EXPECT_EQ(fast.boxes, ref.boxes) << describe(rows, query);
    return fast.ok == ref.ok && fast.text == ref.text && fast.boxes == ref.boxes;
}

using Random = SplitMix64;

// Keywords as keyword files hold them: clause words (some of several words), words with the
// spaces a quoted field keeps, symbols, quote and comment openers, letters that lower outside
// A-Z, and rows the pass must skip.
const std::vector<std::u16string> kWords = {
    u"select",   u"from",    u"where",  u"and",         u"or",        u"join",   u"left join",
    u"on",       u"case",    u"when",   u"end",         u"group by",  u"SELECT", u"From",
    u" from",    u"select ", u" and ",  u"x",           u"é",         u"straße", u"İd",
    u"\u212Aey", u"a\rb",    u"values", u"insert into", u"\U0001F600"};
const std::vector<std::u16string> kSymbols = {
    u",",  u"(",  u")",       u";",  u"=",  u"--", u"'", u"\"",         u"/*", u"*/",
    u", ", u" ,", u"(select", u"\r", u"\n", u"\t", u"ß", u"\U0001F600", u"x",  u"a"};
const std::vector<std::u16string> kSkipped = {u"", u" ", u"  ", u" \r ", u"\r"};
// Word keywords that hold one another, as multiword keywords hold the words they are made of. Each
// case draws a family: its table often holds several of the family's rows, its query their words.
// Some start or end with spaces, or hold a line break followed by a row's indentation, so that the
// longer keyword reaches back into the indentation owed before the text or into the line written;
// some hold a comment or a literal, which keeps them from holding anything.
const std::vector<std::vector<std::u16string>> kFamilies = {
    {u"join", u"left join", u"left outer join", u"outer join", u"left", u" join", u"join "},
    {u"union", u"union all", u"all", u"UNION ALL"},
    {u"by", u"group by", u"order by", u"group", u" by"},
    {u"from", u"delete from", u" from", u"delete", u"from  "},
    {u"x", u"x\rx", u"x\r    x", u"x\r        x", u"a\rb", u"b c", u"a\rb c"},
    {u"x", u"x -- y", u"/* y */ x", u"x 'y'", u"y \"x\""},
};

// Half the tables hold two or three rows of the given family, in any order, among the others.
KeywordTable randomRows(Random& rnd, const std::vector<std::u16string>& family) {
    KeywordTable rows;
    const std::size_t n = 1 + rnd.below(6);
    if (rnd.chance(50)) {
        for (std::size_t i = 0, m = 2 + rnd.below(2); i < m; ++i) {
            rows.push_back({rnd.pick(family), static_cast<std::int16_t>(rnd.below(4)), 1});
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        typKeyword row;
        const std::size_t kind = rnd.below(20);
        if (kind < 4) {
            row.strWord = rnd.pick(rnd.pick(kFamilies));
            row.intLineHead = 1;
        } else if (kind < 10) {
            row.strWord = rnd.pick(kWords);
            row.intLineHead = 1;
        } else if (kind < 18) {
            row.strWord = rnd.pick(kSymbols);
            row.intLineHead = rnd.chance(80) ? 0 : static_cast<std::int16_t>(2 + rnd.below(3));
        } else {
            row.strWord = rnd.pick(kSkipped);
            row.intLineHead = static_cast<std::int16_t>(rnd.below(2));
        }
        row.intIndent = static_cast<std::int16_t>(static_cast<int>(rnd.below(7)) - 1);
        // Now and then a level whose indentation or whose level above cannot be built.
        if (rnd.chance(1)) {
            const std::vector<std::int16_t> odd = {8191, 8192, -8192, -32768, 32767};
            row.intIndent = rnd.pick(odd);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Pieces of queries: the keywords in every case, names, spacing of every kind, line ends of
// every kind, literals and comments (closed, doubled, unclosed), letters beyond ASCII.
std::u16string randomPiece(Random& rnd, const std::vector<std::u16string>& family) {
    static const std::vector<std::u16string> names = {
        u"a",      u"b1", u"t",  u"x",   u"id",       u"café",    u"Größe", u"名前", u"\U0001F600",
        u"\u212A", u"1",  u"42", u"max", u"selected", u"fromage", u"İ",     u"ΣΑΣ"};
    static const std::vector<std::u16string> spacing = {u" ",    u"  ",      u"     ",    u"\t",
                                                        u" \t ", u"\r\n",    u"\r\n\r\n", u"\n",
                                                        u"\r",   u" \r\n  ", u"\r\r\n",   u"\r \r"};
    static const std::vector<std::u16string> quoted = {
        u"'Smith, John'",      u"'it''s'",   u"\"Order By\"",    u"'a\tb'",
        u"-- from, where\r\n", u"-- select", u"/* a, b from */", u"/*/ x */",
        u"'unclosed, from",    u"/* open",   u"\"\"\"\"",        u"''",
        u"'line\r\nbreak'",    u"--\n"};
    static const std::vector<std::u16string> punct = {u",", u"(", u")", u";", u"=",  u"*",
                                                      u".", u"-", u"/", u"'", u"\"", u", "};
    switch (rnd.below(10)) {
        case 0:
        case 1:
        case 2: {
            std::u16string w = rnd.chance(40)   ? rnd.pick(kWords)
                               : rnd.chance(50) ? rnd.pick(family)
                                                : rnd.pick(kSymbols);
            for (char16_t& c : w) {
                if (c >= u'a' && c <= u'z' && rnd.chance(30)) c = static_cast<char16_t>(c - 32);
            }
            return w;
        }
        case 3:
        case 4:
            return rnd.pick(names);
        case 5:
        case 6:
            return rnd.pick(spacing);
        case 7:
            return rnd.pick(quoted);
        default:
            return rnd.pick(punct);
    }
}

std::u16string randomQuery(Random& rnd, std::size_t pieces,
                           const std::vector<std::u16string>& family) {
    std::u16string q;
    if (rnd.chance(20)) q += rnd.chance(50) ? u"   " : u"\r\n ";
    for (std::size_t i = 0; i < pieces; ++i) {
        q += randomPiece(rnd, family);
        if (rnd.chance(50)) q += u' ';
    }
    if (rnd.chance(20)) q += rnd.chance(50) ? u"   " : u" \r\n";
    return q;
}

TEST(differential_test, generated_cases_agree_with_the_direct_pass) {
    EXPECT_TRUE(kUtf8Locale) << "C.UTF-8 is missing: letters beyond A-Z are not lowered";
    EXPECT_EQ(platform::lowerUnit(u'\u212A'), u'k');
    Random rnd(20261207);
    int differences = 0;
    for (int i = 0; i < 20000 && differences < 5; ++i) {
        const auto& family = rnd.pick(kFamilies);
        const KeywordTable rows = randomRows(rnd, family);
        const std::u16string query = randomQuery(rnd, rnd.below(25), family);
        if (!agree(rows, query)) ++differences;
    }
    EXPECT_EQ(differences, 0);
}

TEST(differential_test, every_row_of_a_long_table_agrees) {
    // Longer queries through many rows, so that rows work on what earlier rows laid out.
    Random rnd(7);
    for (int i = 0; i < 300; ++i) {
        const auto& family = rnd.pick(kFamilies);
        KeywordTable rows = randomRows(rnd, family);
        const KeywordTable more = randomRows(rnd, family);
        rows.insert(rows.end(), more.begin(), more.end());
        if (!agree(rows, randomQuery(rnd, 60 + rnd.below(60), family))) break;
    }
}

// Deep levels on a long text make the pass measure a row before building it (its bound passes
// 32-bit positions); the measured rows must come out as the direct pass lays them out.
TEST(differential_test, measured_rows_agree) {
    Random rnd(99);
    for (int i = 0; i < 40; ++i) {
        const auto& family = rnd.pick(kFamilies);
        KeywordTable rows = randomRows(rnd, family);
        rows.push_back({rnd.chance(50) ? u"," : u" from",
                        static_cast<std::int16_t>(8190 + rnd.below(2)),
                        static_cast<std::int16_t>(rnd.below(2))});
        std::u16string query = std::u16string(33000, u'7') + u" ";
        query += randomQuery(rnd, 10, family);
        if (!agree(rows, query)) break;
    }
}

TEST(differential_test, examples_that_pin_the_splice_arithmetic) {
    const struct {
        KeywordTable rows;
        std::u16string query;
    } cases[] = {
        // An occurrence that starts inside the indentation its row's last splice put in front of
        // the text after it.
        {{{u"  x", 2, 0}}, u"a  xx"},
        {{{u"  select", 3, 1}}, u"a   select select b"},
        {{{u",", 2, 0}, {u"  x", 1, 0}}, u"a,x b"},
        {{{u",", 3, 0}, {u"     x", 1, 0}}, u"a, x ,  x"},
        {{{u"select", 3, 1}, {u"  select", 1, 1}}, u"a select b select"},
        // The first line set at a positive level starts with spaces the next splice trims.
        {{{u",", 3, 0}}, u",a,b,c"},
        {{{u"select", 2, 1}}, u"select a select b"},
        // Tails of spaces and line breaks only, and a keyword that ends the text.
        {{{u",", 1, 0}}, u"a,  \r\r  "},
        {{{u",", 0, 0}}, u"a, \r ,"},
        {{{u"x ", 1, 0}}, u"ax    "},
        // Level checks happen at the first splice, and only for the indentation it builds.
        {{{u"select", 8192, 1}}, u"a select"},
        {{{u"select", 8192, 1}}, u"a select b"},
        {{{u"select", -32768, 1}}, u"select"},
        {{{u"select", -8192, 1}}, u"select a"},
        // Word rows inside longer word rows' keywords: the longer one starting with spaces in the
        // owed indentation, or reaching back over the line break into the keyword line written.
        {{{u"join", 2, 1}, {u"  left join", 1, 1}}, u"a join left join b"},
        {{{u"x", 1, 1}, {u"y", 1, 1}, {u"x\r    y", 1, 1}}, u"a x y z x  y"},
        {{{u"left join", 0, 1}, {u"join", 1, 1}}, u"a left join b left join"},
        {{{u"x", 1, 1}, {u"/* y */ x", 1, 1}}, u"a /* y */ x b"},
        // The same on a row measured before it is written, whose look-back is the written
        // text's last code units only.
        {{{u"k", 8190, 1}, {u"k\r" + std::u16string(32760, u' ') + u"k", 1, 1}},
         std::u16string(33000, u'7') + u" k k k"},
    };
    for (const auto& c : cases) agree(c.rows, c.query);
}

}  // namespace
}  // namespace pellomar
