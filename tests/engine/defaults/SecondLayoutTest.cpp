// Pressing the key twice must be harmless: with the shipped keyword file, laying out a result
// again leaves it as it is, for generated everyday statements (the corpus files are checked with
// the rest of their layout in corpus_test).

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "SplitMix64.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;
using testing_support::u16;
using testing_support::visible;

// Lays out text, then the result again, with the keyword file dir holds; returns whether the
// second layout changed nothing.
bool secondLayoutChangesNothing(const KeywordDir& dir, const std::u16string& text) {
    const std::u16string once = clsMorvant().CArrange(text);
    const std::u16string twice = clsMorvant().CArrange(once);
    EXPECT_TRUE(dir.boxes().empty());
    return once == twice;
}

// Everyday statements as people paste them: every kind of clause the shipped file has rows
// for, in any letter case, spread over lines or not, indented with spaces or TABs, with
// literals and comments, and ending as pasted text does: in a keyword (a CASE's END, say), a
// line break, spaces, or a comment.
class Statements {
  public:
    explicit Statements(std::uint64_t seed) : rnd_(seed) {}

    std::string next() {
        std::string s;
        switch (rnd_.below(6)) {
            case 0:
                s = "update " + table() + " set " + list("column = value");
                if (rnd_.chance(50)) s += " where " + condition();
                break;
            case 1:
                s = "insert into " + table() + " (" + list("column") + ") values (" +
                    list("value") + ")";
                if (rnd_.chance(30)) s += ", (" + list("value") + ")";
                if (rnd_.chance(30)) s += " returning " + column();
                break;
            case 2:
                s = "delete from " + table() + " where " + condition();
                break;
            default:
                s = select();
                if (rnd_.chance(25)) s += pick({" union all ", " union ", " except "}) + select();
                break;
        }
        s = spread(s);
        if (rnd_.chance(15)) s += pick({" -- done", " /* end */", " -- from, where  "});
        s += pick({"", "", "\n", "\r\n", "   ", " \n", "\n\n", "\t"});
        return s;
    }

  private:
    std::string pick(std::initializer_list<const char*> from) {
        return *(from.begin() + rnd_.below(from.size()));
    }
    std::string table() { return pick({"orders o", "customers", "t", "order_lines l"}); }
    std::string column() { return pick({"id", "o.total", "name", "c.customer_id", "qty"}); }
    std::string value() {
        if (rnd_.chance(25)) return "case when " + condition() + " then 1 else 2 end";
        return pick({"1", "'open'", "'O''Brien, Pat'", "now()", "-2.5"});
    }
    // One to three items: a single one leaves no comma, whose splice would trim the text's end.
    std::string list(std::string_view kind) {
        std::string out;
        for (std::size_t n = rnd_.chance(50) ? 1 : 1 + rnd_.below(3); n > 0; --n) {
            if (!out.empty()) out += ", ";
            if (kind == "column") {
                out += column();
            } else if (kind == "value") {
                out += value();
            } else {
                out += column() + " = " + value();
            }
        }
        return out;
    }
    std::string condition() {
        std::string c = column() + pick({" = ", " > ", " <> "}) + value();
        if (rnd_.chance(50)) c += pick({" and ", " or "}) + column() + " is null";
        if (rnd_.chance(20)) {
            c += " and " + column() + " in (select id from " + table() + " where " + column() +
                 " = " + value() + ")";
        }
        return c;
    }
    std::string select() {
        std::string s = pick({"select ", "select distinct "}) + list("value");
        if (rnd_.chance(20)) return s;
        s += " from " + table();
        for (std::size_t j = rnd_.below(3); j > 0; --j) {
            s += pick({" join ", " left join ", " inner join ", " left outer join ", " cross join ",
                       " full join "}) +
                 table() + " on " + column() + " = " + column();
        }
        if (rnd_.chance(70)) s += " where " + condition();
        if (rnd_.chance(30)) s += " group by " + column() + " having count(*) > 1";
        if (rnd_.chance(40)) s += " order by " + column() + pick({"", " desc"});
        if (rnd_.chance(20)) s += " limit 10 offset 20";
        if (rnd_.chance(10)) s = "with x as (" + s + ") select * from x";
        return s;
    }
    // Replaces some single spaces with line breaks and indentation, and changes letter case.
    std::string spread(const std::string& s) {
        std::string out;
        const bool upper = rnd_.chance(30);
        for (const char c : s) {
            if (c == ' ' && rnd_.chance(8)) {
                out += pick({"\n", "\r\n", "\n    ", "\n\t", "  ", "\t"});
            } else {
                out += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
            }
        }
        return out;
    }

    SplitMix64 rnd_;
};

TEST(second_layout, changes_nothing_for_generated_statements) {
    KeywordDir dir;
    dir.writeBytes(testing_support::shippedKeywordFile());
    Statements statements(20261208);
    int changed = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string query = platform::lfToCrLf(u16(statements.next()));
        if (!secondLayoutChangesNothing(dir, query) && ++changed <= 3) {
            ADD_FAILURE() << "a second layout changed " << visible(query);
        }
    }
    EXPECT_EQ(changed, 0);
}

}  // namespace
}  // namespace pellomar
