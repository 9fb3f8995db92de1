// Pressing the key twice must be harmless: with the shipped keyword file, laying out a result
// again leaves it as it is, and the first layout moves nothing but spacing between tokens, for
// generated statements of every shape people paste (the corpus files are checked with the rest
// of their layout in corpus_test).

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "MorvantTestSeam.h"
#include "SplitMix64.h"
#include "StructuredProperties.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;
using testing_support::u16;
using testing_support::visible;

// Lays out text, then the result again, with the keyword file dir holds; returns what went
// wrong, or the empty text.
std::string layOutTwice(const KeywordDir& dir, const std::u16string& text) {
    const std::u16string once = clsMorvant().CArrange(text);
    const std::u16string twice = clsMorvant().CArrange(once);
    if (!dir.boxes().empty()) return "an error box: " + dir.boxes().front();
    if (std::string broken = testing_support::structuredViolation(text, once); !broken.empty()) {
        return broken;
    }
    if (once != twice) return "a second layout changed " + visible(once) + " to " + visible(twice);
    return {};
}

// Statements as people paste them: queries with CTEs, subqueries of every kind, window
// functions, CASE, set operations and parenthesised joins; INSERT, UPDATE, DELETE and MERGE; DDL,
// GRANT and COPY with its data; in any letter case, spread over lines or not, indented with
// spaces or TABs, with blank lines, literals of every kind and comments in many places, and
// ending as pasted text does: in a keyword, a line break, spaces, or a comment. Nesting is
// bounded by `depth`, so that a statement stays a few hundred characters long.
// Pieces longer than a line of code, kept out of the lists they are picked from.
constexpr const char* kWindowFrame =
    "partition by a, b order by c desc rows between unbounded preceding and current row";
constexpr const char* kForeignKey =
    "customer_id int references customers (id) on delete cascade on update no action";
constexpr const char* kThreeColumns =
    " add column first_column integer not null default 0, add column second_column text, add "
    "column third_column boolean";

class Statements {
  public:
    explicit Statements(std::uint64_t seed) : rnd_(seed) {}

    std::string next() {
        std::string s = statement();
        for (std::size_t n = rnd_.chance(15) ? 1 + rnd_.below(2) : 0; n > 0; --n) {
            s += pick({";", ";\n", ";\n\n", "; -- next\n", ";\n/* next */\n", " ;\n"});
            s += statement();
        }
        s = spread(s);
        if (rnd_.chance(15)) s += pick({" -- done", " /* end */", " -- from, where  ", ";"});
        s += pick({"", "", "\n", "\r\n", "   ", " \n", "\n\n", "\t"});
        return s;
    }

  private:
    using Words = std::initializer_list<const char*>;

    std::string pick(Words from) { return *(from.begin() + rnd_.below(from.size())); }

    std::string statement() {
        depth_ = 0;
        switch (rnd_.below(20)) {
            case 0:
            case 1:
                return update();
            case 2:
            case 3:
                return insert();
            case 4:
                return "delete from " + table() +
                       (rnd_.chance(40) ? " using " + table() + " where " + join() + " and "
                                        : " where ") +
                       condition() + (rnd_.chance(30) ? " returning *" : "");
            case 5:
                return createTable();
            case 6:
                return pick({"create view ", "create or replace view ",
                             "create materialized view "}) +
                       "v" + pick({"", " (a, b)"}) + " as " + query() +
                       pick({"", " with local check option", " with no data"});
            case 7:
                return pick({"create index ", "create unique index if not exists ",
                             "create index concurrently "}) +
                       "ix on " + table() + pick({" (a)", " using btree (lower(name), b desc)"}) +
                       pick({"", " where deleted_at is null", " include (c)"});
            case 8:
                return function();
            case 9:
                return pick({"grant select, insert on orders to reporting",
                             "grant all privileges on all tables in schema s to u with grant "
                             "option",
                             "revoke update (a, b) on t from public",
                             "grant usage on schema s to u"});
            case 10:
                return alterTable();
            case 11:
                return copy();
            case 12:
                return merge();
            default:
                return query();
        }
    }

    // --- Queries ---

    std::string query() {
        std::string s;
        if (rnd_.chance(20) && depth_ < 2) s = with();
        s += setOperation();
        if (rnd_.chance(30)) s += " order by " + column() + pick({"", " desc", " nulls last"});
        if (rnd_.chance(15))
            s += pick({" limit 10", " limit 10 offset 20", " fetch first 5 rows only"});
        if (rnd_.chance(5)) s += pick({" for update", " for no key update", " for share"});
        return s;
    }

    std::string with() {
        std::string s = pick({"with ", "with recursive ", "WITH "});
        for (std::size_t n = 1 + rnd_.below(3); n > 0; --n) {
            s += pick({"a", "b", "totals", "tree (id, parent)"}) + std::string(" as ") +
                 pick({"", "materialized ", "not materialized "}) + "(" + nested() + ")";
            if (n > 1) s += pick({", ", ",\n", " , "});
        }
        return s + " ";
    }

    std::string setOperation() {
        std::string s = select();
        for (std::size_t n = rnd_.chance(20) ? 1 + rnd_.below(3) : 0; n > 0; --n) {
            s += pick({" union ", " union all ", " intersect ", " except ", " except all ",
                       " union distinct "});
            s += rnd_.chance(30) ? "(" + nested() + ")" : select();
        }
        if (rnd_.chance(5))
            s = "(" + s + ")" + pick({" union all ", " except "}) + "(" + select() + ")";
        return s;
    }

    // A query one level deeper: shallower ones as the nesting grows.
    std::string nested() {
        ++depth_;
        std::string s = depth_ > 2 ? "select " + expression() + " from " + table() : query();
        --depth_;
        return s;
    }

    std::string select() {
        std::string s = pick(
            {"select ", "select distinct ", "SELECT ", "select distinct on (a) ", "select all "});
        s += items();
        if (rnd_.chance(10)) return s;
        s += " from " + fromItem();
        for (std::size_t j = rnd_.below(3); j > 0; --j) {
            if (rnd_.chance(30)) {
                s += pick({" natural join ", " cross join ", ", ", " natural left join "}) +
                     fromItem();
                continue;
            }
            s += pick({" join ", " left join ", " inner join ", " left outer join ", " full join ",
                       " right join ", " JOIN "}) +
                 fromItem() + (rnd_.chance(80) ? " on " + join() : " using (id)");
        }
        if (rnd_.chance(70)) s += " where " + condition();
        if (rnd_.chance(25)) s += " group by " + column() + pick({"", ", 2", ", rollup (a, b)"});
        if (rnd_.chance(15)) s += " having count(*) > 1 and sum(x) < 10";
        if (rnd_.chance(10)) s += " window w as (partition by a order by b)";
        return s;
    }

    std::string items() {
        std::string s;
        for (std::size_t n = 1 + rnd_.below(4); n > 0; --n) {
            s += expression();
            if (rnd_.chance(30)) s += pick({" as total", " n", " as \"Quoted Name\""});
            if (n > 1) s += pick({", ", ",", " ,", ",\n  ", ", -- note\n"});
        }
        return s;
    }

    std::string fromItem() {
        switch (rnd_.below(8)) {
            case 0:
                if (depth_ < 3) return "(" + nested() + ")" + pick({" s", " as s (x, y)", " s"});
                return table();
            case 1:
                return "(" + table() + " join " + table() + " on " + join() + ")";
            case 2:
                return pick({"generate_series(1, 10) with ordinality as g(n, i)",
                             "lateral (select 1 as x) l", "unnest(array[1, 2]) u"});
            default:
                return table();
        }
    }

    std::string table() {
        return pick({"orders o", "customers c", "t", "order_lines l", "public.customer",
                     "\"Odd Table\" ot", "sales.\"2024\" s"});
    }
    std::string column() {
        return pick({"id", "o.total", "name", "c.customer_id", "qty", "t.from", "\"Order\".\"Id\"",
                     "a", "b"});
    }
    std::string join() { return column() + " = " + column() + pick({"", " and a.x = b.x"}); }

    // --- Expressions and conditions ---

    std::string value() {
        return pick({"1", "'open'", "'O''Brien, Pat'", "now()", "-2.5",
                     "E'it\\'s -- not, a comment'", "e'tab\\there'", "$$a, b$$", "$q$it's$q$",
                     "null", "x'1F'", "'with\ttab'", "interval '1 day'", "'2024-01-01'::date",
                     ":param", "$1", "array[1, 2]", "'select from where'"});
    }

    std::string expression() {
        ++depth_;
        std::string s;
        switch (depth_ > 3 ? 0 : rnd_.below(12)) {
            case 0:
            case 1:
                s = rnd_.chance(50) ? column() : value();
                break;
            case 2:
                s = caseExpression();
                break;
            case 3:
                s = pick({"sum(", "count(", "avg(", "max("}) + column() + ") over (" +
                    pick({"partition by a order by b", kWindowFrame, "order by d", "w", ""}) + ")";
                break;
            case 4:
                s = "(" + nested() + ")";
                break;
            case 5:
                s = longCall();
                break;
            case 6:
                s = pick({"coalesce(", "nullif(", "greatest("}) + expression() + ", " +
                    expression() + ")";
                break;
            case 7:
                s = pick({"extract(year from d)", "cast(x as numeric(10, 2))",
                          "count(*) filter (where a > 0)", "x::timestamp with time zone",
                          "string_agg(name, ', ' order by name)", "a is not distinct from b",
                          "substring(name from 1 for 3)", "trim(both ' ' from name)"});
                break;
            case 8:
                s = expression() + pick({" + ", " - ", " * ", " || ", " / "}) + expression();
                break;
            default:
                s = column();
                break;
        }
        --depth_;
        return s;
    }

    std::string caseExpression() {
        const bool simple = rnd_.chance(30);  // CASE x WHEN value, else CASE WHEN condition
        std::string s = simple ? "case " + column() : "case";
        for (std::size_t n = 1 + rnd_.below(3); n > 0; --n) {
            s += " when " + (simple ? value() : condition()) + " then " + expression();
        }
        if (rnd_.chance(60)) s += " else " + expression();
        return s + " end";
    }

    std::string condition() {
        ++depth_;
        std::string c;
        switch (depth_ > 3 ? 0 : rnd_.below(11)) {
            case 0:
                c = column() + pick({" = ", " > ", " <> ", " >= ", " like ", " != "}) + value();
                break;
            case 1:
                c = condition() + pick({" and ", " or ", " AND ", "\nand "}) + condition();
                break;
            case 2:
                c = column() + pick({" between ", " not between "}) + value() + " and " + value();
                break;
            case 3:
                c = column() + pick({" in (", " not in ("}) + nested() + ")";
                break;
            case 4:
                c = pick({"exists (", "not exists ("}) +
                    ("select 1 from " + table() + " where " + join()) + ")";
                break;
            case 5:
                c = "(" + condition() + " or " + condition() + ")";
                break;
            case 6:
                c = column() + " in (" + longList() + ")";
                break;
            case 7:
                c = column() + " = (" + nested() + ")";
                break;
            case 8:
                c = column() + pick({" is null", " is not null", " is true"});
                break;
            case 9:
                c = "not " + condition();
                break;
            default:
                c = column() + " = " + caseExpression();
                break;
        }
        --depth_;
        return c;
    }

    std::string longCall() {
        std::string s = pick({"concat_ws(", "json_build_object(", "some_function("});
        for (std::size_t n = 6 + rnd_.below(6); n > 0; --n) {
            s += pick({"customer_reference_number", "'a rather long literal, with a comma'",
                       "lower(o.customer_email_address)", "c.customer_id"});
            if (n > 1) s += ", ";
        }
        return s + ")";
    }

    std::string longList() {
        std::string s;
        for (std::size_t n = 20 + rnd_.below(20); n > 0; --n) {
            s += std::to_string(rnd_.below(100000)) + (n > 1 ? ", " : "");
        }
        return s;
    }

    // --- Statements that change rows ---

    std::string update() {
        std::string s = "update " + table() + " set " + column() + " = " + expression();
        if (rnd_.chance(40)) s += ", " + column() + " = " + value();
        if (rnd_.chance(30)) s += " from " + table() + " where " + join();
        if (rnd_.chance(50))
            s += (s.find(" where ") == std::string::npos ? " where " : " and ") + condition();
        if (rnd_.chance(20)) s += " returning " + column();
        return s;
    }

    std::string insert() {
        std::string s =
            "insert into " + table() + " (" + pick({"a", "a, b", "id, name, qty"}) + ")";
        if (rnd_.chance(30)) {
            s += " " + query();
        } else if (rnd_.chance(10)) {
            s = "insert into t default values";
        } else {
            s += " values ";
            for (std::size_t n = 1 + (rnd_.chance(30) ? rnd_.below(40) : rnd_.below(3)); n > 0;
                 --n) {
                s += "(" + value() + ", " + value() + ")" + (n > 1 ? pick({", ", ",\n"}) : "");
            }
        }
        if (rnd_.chance(20)) {
            s += pick({" on conflict (a) do update set b = excluded.b", " on conflict do nothing",
                       " on conflict on constraint k do nothing"});
        }
        if (rnd_.chance(20)) s += " returning *";
        return s;
    }

    std::string merge() {
        return "merge into t using s on t.id = s.id when matched and s.x > 0 then update set a = "
               "s.a when matched then delete when not matched then insert (id, a) values (s.id, "
               "s.a)";
    }

    // --- DDL and others ---

    std::string createTable() {
        if (rnd_.chance(20)) return "create table t2 as " + query();
        std::string s = pick({"create table ", "create table if not exists ",
                              "create temporary table ", "CREATE TABLE "}) +
                        pick({"t", "s.orders", "\"Odd\""}) + " (";
        for (std::size_t n = 1 + rnd_.below(6); n > 0; --n) {
            s += pick({"id bigint primary key", "name text not null default 'none, really'",
                       "total numeric(10, 2) check (total > 0 and total < 100)", kForeignKey,
                       "created timestamp with time zone default now()",
                       "constraint k unique (a, b)", "-- a comment line\n  qty int"});
            if (n > 1) s += pick({", ", ",\n  ", ",\t"});
        }
        return s + pick({")", "\n)", ") partition by range (created)"});
    }

    std::string alterTable() {
        return "alter table " + table() +
               pick({" add column c int not null default 0",
                     " alter column c set default 1, alter column d drop not null",
                     " add constraint fk foreign key (a) references u (id) on delete set null",
                     " rename to t3", " drop column if exists c cascade", kThreeColumns,
                     // One long item, cut to fit the line.
                     // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
                     " add column a int, add constraint c check (quantity_on_hand > 0 and "
                     "quantity_reserved_for_orders >= 0 and quantity_on_hand < 100000), add "
                     "column d int"});
    }

    std::string function() {
        const std::string tag = pick({"$$", "$body$", "$fn$"});
        std::string body = pick({"select  1;", "begin\n\treturn x + 1; -- add\nend;",
                                 "select a,\tb from t where c = 'x';",
                                 "\n  update t set a = 1 where b between 1 and 2;\n"});
        return pick({"create function ", "create or replace function "}) + "f(x int) returns int " +
               pick({"language sql as ", "as ", "language plpgsql as "}) + tag + body + tag +
               pick({"", " language sql", " immutable"});
    }

    // COPY ... FROM stdin and its data, whose TABs and line breaks are the user's: the data
    // follows the ; and ends with the line that is exactly \. (ended here by the caller's ;).
    std::string copy() {
        std::string s = pick({"copy t (a, b) from stdin", "COPY public.t FROM STDIN",
                              "copy t from stdin with (format text)"});
        s += ";\n";
        for (std::size_t n = rnd_.below(4); n > 0; --n) {
            s += pick({"1\tselect from where\t\\N", "2\t  spaced  \ttext", "3\t,\t(", "4"});
            s += "\n";
        }
        return s + "\\.\nselect 1";
    }

    // Replaces some single spaces with line breaks, TABs, blank lines and comments, and changes
    // letter case. Inside a literal or comment that changes the user's text, which is no matter:
    // the layout must keep whatever the text holds.
    std::string spread(const std::string& s) {
        std::string out;
        const bool upper = rnd_.chance(20);
        const bool lower = !upper && rnd_.chance(60);
        const auto breaks = static_cast<unsigned>(rnd_.chance(40) ? 0 : 1 + rnd_.below(15));
        for (const char c : s) {
            if (c == ' ' && rnd_.chance(breaks)) {
                out += pick({"\n", "\r\n", "\n    ", "\n\t", "  ", "\t", "\n\n", " \t\n  ",
                             " -- note\n", "\n-- a line of its own\n", " /* note */ ",
                             "/*\tnote\n*/"});
            } else if (!lower && c >= 'a' && c <= 'z' && (upper || rnd_.chance(10))) {
                out += static_cast<char>(c - 32);
            } else {
                out += c;
            }
        }
        return out;
    }

    SplitMix64 rnd_;
    int depth_ = 0;
};

TEST(second_layout, changes_nothing_for_generated_statements) {
    KeywordDir dir;
    dir.writeBytes(testing_support::shippedKeywordFile());
    Statements statements(20261208);
    int failed = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string text = statements.next();
        const std::string broken = layOutTwice(dir, platform::lfToCrLf(u16(text)));
        if (!broken.empty() && ++failed <= 5) {
            ADD_FAILURE() << "statement " << i << " " << visible(u16(text)) << ":\n" << broken;
        }
    }
    EXPECT_EQ(failed, 0);
}

// Any structured keyword file in which no keyword occurs twice or starts or ends with a space
// must keep the promises too, not only the shipped one: the same statements under rows drawn at
// random from real keywords and symbols, of every kind, at levels -1 to 6.
TEST(second_layout, changes_nothing_under_random_structured_rows) {
    static constexpr const char16_t* kKeywords[] = {
        u"select",
        u"select distinct",
        u"from",
        u"where",
        u"and",
        u"or",
        u"join",
        u"left join",
        u"inner join",
        u"on",
        u"using",
        u"group by",
        u"order by",
        u"having",
        u"union",
        u"union all",
        u"except",
        u"with",
        u"with recursive",
        u"as",
        u"insert into",
        u"values",
        u"update",
        u"set",
        u"delete from",
        u"merge into",
        u"case",
        u"when",
        u"then",
        u"else",
        u"end",
        u"between",
        u"in",
        u"exists",
        u"not",
        u"is",
        u"limit",
        u"returning",
        u"over",
        u"partition by",
        u"window",
        u"on conflict",
        u"create",
        u"table",
        u"grant",
        u"alter",
        u"copy",
        u"for",
        u"do",
        u"filter",
        u",",
        u"=",
        u"::",
        u"||",
        u".",
        u"*",
        u"+",
        u"e",
        u"x",
        u"t",
    };
    KeywordDir boxes;  // collects any error box; none is expected at these levels
    SplitMix64 rnd(20261209);
    Statements statements(rnd.next());
    int failed = 0;
    for (int i = 0; i < 1500; ++i) {
        KeywordTable rows;
        rows.layout = LayoutMode::Structured;
        std::set<std::u16string_view> seen;
        for (std::size_t n = 1 + rnd.below(12); n > 0; --n) {
            const std::u16string_view keyword = kKeywords[rnd.below(std::size(kKeywords))];
            if (!seen.insert(keyword).second) continue;
            rows.push_back({std::u16string(keyword),
                            static_cast<std::int16_t>(static_cast<int>(rnd.below(8)) - 1),
                            static_cast<std::int16_t>(rnd.below(3))});
        }
        const std::u16string query = platform::lfToCrLf(u16(statements.next()));
        std::u16string once;
        std::u16string twice;
        const bool ok = MorvantTestSeam::ArrangeText(query, rows, once) &&
                        MorvantTestSeam::ArrangeText(once, rows, twice);
        std::string broken =
            !ok ? "the layout failed" : testing_support::structuredViolation(query, once);
        if (broken.empty() && once != twice) {
            broken = "a second layout changed " + visible(once) + " to " + visible(twice);
        }
        if (!broken.empty() && ++failed <= 5) {
            std::string table;
            for (const typKeyword& row : rows) table += testing_support::csvLine(row) + " ";
            ADD_FAILURE() << "rows " << table << "\nstatement " << visible(query) << ":\n"
                          << broken;
        }
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(boxes.boxes(), std::vector<std::string>{});
}

}  // namespace
}  // namespace pellomar
