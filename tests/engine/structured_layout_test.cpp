// The structured layout's rules, each with the one layout it must give: a whole request with the
// rows in a keyword file whose header says layout=structured. Every layout is checked for a second
// layout that changes nothing, as a second press of the key would.
#include <gtest/gtest.h>

#include <string>

#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;
using testing_support::leading;
using testing_support::structured;
using testing_support::symbol;
using testing_support::visible;
using testing_support::word;

// The rows most cases use: clauses as words, conditions and join conditions as leading words,
// CASE's own words, and the comma.
const KeywordTable kRows = structured({
    word(u"with", 1),     word(u"select", 1),   word(u"insert into", 1), word(u"values", 1),
    word(u"update", 1),   word(u"set", 1),      word(u"delete from", 1), word(u"merge into", 1),
    word(u"from", 1),     word(u"join", 1),     word(u"left join", 1),   word(u"inner join", 1),
    leading(u"on", 2),    leading(u"using", 2), word(u"where", 1),       word(u"group by", 1),
    word(u"order by", 1), word(u"union", 0),    word(u"union all", 0),   leading(u"when", 2),
    leading(u"else", 2),  leading(u"end", 1),   leading(u"and", 2),      leading(u"or", 2),
    symbol(u",", 1),
});

// Test texts are written with LF line ends and CR LF is what a request gets and gives.
std::u16string crlf(const char* text) {
    return platform::lfToCrLf(testing_support::u16(text));
}

void verifyLayout(const char* expected, const char* input, const KeywordTable& rows) {
    KeywordDir dir;
    dir.writeRows(rows);
    const std::u16string once = clsMorvant().CArrange(crlf(input));
    const std::u16string twice = clsMorvant().CArrange(once);
    EXPECT_EQ(visible(once), visible(crlf(expected)));
    EXPECT_EQ(visible(twice), visible(once)) << "a second layout changes the text";
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{});
}

struct Layout {
    const char* what;
    const char* input;
    const char* expected;
    const KeywordTable* rows = &kRows;
};

void verifyLayouts(std::initializer_list<Layout> cases) {
    for (const Layout& c : cases) {
        SCOPED_TRACE(c.what);
        verifyLayout(c.expected, c.input, *c.rows);
    }
}

TEST(structured_layout_test, rows_break_only_at_clause_level) {
    verifyLayouts({
        {"calls, window clauses and IN lists stay whole",
         "select coalesce(a, b), extract(year from d), sum(x) over (partition by k order by d), "
         "y from t where k in (1, 2, 3)",
         R"(select
    coalesce(a, b),
    extract(year from d),
    sum(x) over (partition by k order by d),
    y
from
    t
where
    k in (1, 2, 3))"},
        {"VALUES tuples one a line, each whole; the column list whole",
         "insert into t (a, b) values (1, 'x, y'), (2, 'z')",
         R"(insert into
    t (a, b)
values
    (1, 'x, y'),
    (2, 'z'))"},
        {"arrays and type arguments", "select array[1, 2], cast(x as numeric(10, 2)) from t",
         R"(select
    array[1, 2],
    cast(x as numeric(10, 2))
from
    t)"},
        {"the README's sample",
         "select c.customer_id, count(r.rental_id) as rentals from customer c inner join rental r "
         "on r.customer_id = c.customer_id left join payment p on p.rental_id = r.rental_id where "
         "c.active = 1 and (p.amount > 0 or p.amount is null) and c.last_name <> 'O''Brien, Jr.' "
         "-- skip him, from the old import\ngroup by c.customer_id",
         R"(select
    c.customer_id,
    count(r.rental_id) as rentals
from
    customer c
inner join
    rental r
    on r.customer_id = c.customer_id
left join
    payment p
    on p.rental_id = r.rental_id
where
    c.active = 1
    and (p.amount > 0 or p.amount is null)
    and c.last_name <> 'O''Brien, Jr.' -- skip him, from the old import
group by
    c.customer_id)"},
    });
}

TEST(structured_layout_test, subqueries_are_blocks_under_their_opener) {
    verifyLayouts({
        {"EXISTS, and BETWEEN's AND",
         "select o.id from orders o where exists (select 1 from refunds r where r.order_id = o.id) "
         "and o.total between 10 and 100",
         R"(select
    o.id
from
    orders o
where
    exists (
        select
            1
        from
            refunds r
        where
            r.order_id = o.id
    )
    and o.total between 10 and 100)"},
        {"a derived table and its alias", "select a from (select b from u) s join v on v.b = s.b",
         R"(select
    a
from
    (
        select
            b
        from
            u
    ) s
join
    v
    on v.b = s.b)"},
        {"a chain of CTEs", "with a as (select 1), b as (select 2) select * from a, b",
         R"(with
    a as (
        select
            1
    ),
    b as (
        select
            2
    )
select
    *
from
    a,
    b)"},
        {"parenthesised queries around UNION ALL", "(select 1) union all (select 2)",
         R"((
    select
        1
)
union all
(
    select
        2
))"},
        {"a ( around a block is a group that stays on the block's lines",
         "select * from ((select 1)) t",
         R"(select
    *
from
    ((
        select
            1
    )) t)"},
        {"levels count from the block: UNION at level 0 stays inside",
         "select * from (select 1 union select 2) t",
         R"(select
    *
from
    (
        select
            1
        union
        select
            2
    ) t)"},
        {"a CTE that deletes", "with gone as (delete from t returning *) select * from gone",
         R"(with
    gone as (
        delete from
            t returning *
    )
select
    *
from
    gone)"},
        {"a ( never closed opens nothing", "select a, (b from t",
         R"(select
    a,
    (b
from
    t)"},
        {"a ) without its ( closes nothing", "select a) from t",
         R"(select
    a)
from
    t)"},
        {"a ( left open in one statement does not reach the next", "select (a; select b",
         R"(select
    (a;
select
    b)"},
    });
}

TEST(structured_layout_test, case_is_a_group) {
    verifyLayouts({
        {"CASE's own words break, at levels from the line holding CASE",
         "select case when a = 1 then 'x' when a = 2 then 'y' else 'z' end as k, "
         "sum(case when b then 1 else 0 end) from t where c = case when d and e then 1 end",
         R"(select
    case
        when a = 1 then 'x'
        when a = 2 then 'y'
        else 'z'
    end as k,
    sum(case when b then 1 else 0 end)
from
    t
where
    c = case
        when d and e then 1
    end)"},
        {"nested CASE", "select case when a then case when b then 1 else 2 end else 3 end from t",
         R"(select
    case
        when a then case
            when b then 1
            else 2
        end
        else 3
    end
from
    t)"},
        {"BETWEEN ... AND inside CASE and beside it",
         "select a from t where a between 1 and 2 and b not between x and y or c = 1",
         R"(select
    a
from
    t
where
    a between 1 and 2
    and b not between x and y
    or c = 1)"},
    });
}

TEST(structured_layout_test, long_groups_break_one_item_a_line) {
    verifyLayouts({
        {"a call too long for its line",
         "select greatest(aaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbbbbb, "
         "cccccccccccccccccccc.dddddddddddddddddddd, eeeeeeeeeeeeeeeeeeee) from t",
         R"(select
    greatest(
        aaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbbbbb,
        cccccccccccccccccccc.dddddddddddddddddddd,
        eeeeeeeeeeeeeeeeeeee
    )
from
    t)"},
        {"a long condition breaks before its AND and OR, not BETWEEN's",
         "select a from t where (aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa = 1 and "
         "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb between 1 and 2 or cccccccccccccccccccccccccccccc = "
         "3)",
         R"(select
    a
from
    t
where
    (
        aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa = 1
        and bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb between 1 and 2
        or cccccccccccccccccccccccccccccc = 3
    ))"},
        {"a group holding a subquery is measured up to its (",
         "select coalesce((select max(aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa) "
         "from t), 0) from u",
         R"(select
    coalesce((
        select
            max(aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa)
        from
            t
    ), 0)
from
    u)"},
        {"a wide DDL statement breaks at its top-level commas",
         "alter table some_table add column first_column integer not null default 0, add column "
         "second_column text, add column third_column boolean",
         R"(alter table some_table add column first_column integer not null default 0,
    add column second_column text,
    add column third_column boolean)"},
    });
}

TEST(structured_layout_test, keywords_in_other_roles_do_not_break) {
    KeywordTable withConflict = kRows;
    withConflict.push_back(leading(u"on conflict", 1));
    verifyLayouts({
        {"DDL stays on its line, but for the query it holds",
         "grant select, insert on orders to reporting; create index orders_customer on orders "
         "(customer_id) where total > 0; create or replace view v as select a from t where b = 1",
         R"(grant select, insert on orders to reporting;
create index orders_customer on orders (customer_id) where total > 0;
create or replace view v as
select
    a
from
    t
where
    b = 1)"},
        {"CREATE TABLE: one column or constraint a line",
         "create table if not exists s.t (a int, b numeric(10, 2) references u (id) on delete "
         "cascade, constraint c check (a > 0 and a < 10))",
         R"(create table if not exists s.t (
    a int,
    b numeric(10, 2) references u (id) on delete cascade,
    constraint c check (a > 0 and a < 10)
))"},
        {"CREATE TABLE ... AS", "create table t2 as select * from t1",
         R"(create table t2 as
select
    *
from
    t1)"},
        {"SET, COPY and friends", "set search_path = a, b; copy t from '/tmp/x' with (format csv)",
         R"(set search_path = a, b;
copy t from '/tmp/x' with (format csv))"},
        {"WITH TIME ZONE, WITH ORDINALITY",
         "select x::timestamp with time zone from generate_series(1, 3) with ordinality as g(n)",
         R"(select
    x::timestamp with time zone
from
    generate_series(1, 3) with ordinality as g(n))"},
        {"DISTINCT ON, IS NOT DISTINCT FROM, FOR UPDATE",
         "select distinct on (a) a, b from t where a is not distinct from b for update",
         R"(select
    distinct on (a) a,
    b
from
    t
where
    a is not distinct from b for update)"},
        {"ON CONFLICT ... DO UPDATE SET, DEFAULT VALUES",
         "insert into t (a) values (1) on conflict (a) do update set b = 2; insert into t default "
         "values",
         R"(insert into
    t (a)
values
    (1) on conflict (a) do update set b = 2;
insert into
    t default values)"},
        {"a row naming the whole phrase does break",
         "insert into t (a) values (1) on conflict (a) do update set b = 2, c = 3",
         R"(insert into
    t (a)
values
    (1)
on conflict (a) do update set b = 2,
    c = 3)",
         &withConflict},
        {"MERGE: each WHEN clause whole on its line, after a CTE too",
         "with s as (select 1 as id) merge into t using s on t.id = s.id and t.k = 1 when matched "
         "and s.id > 0 then update set a = s.a, b = 2 when not matched then insert (id) values "
         "(s.id)",
         R"(with
    s as (
        select
            1 as id
    )
merge into
    t
    using s
    on t.id = s.id
    and t.k = 1
    when matched and s.id > 0 then update set a = s.a, b = 2
    when not matched then insert (id) values (s.id))"},
        {"WITH ... CHECK OPTION, WITH NO DATA",
         "create view v as select a from t with local check option; create materialized view m "
         "as select a from t with no data",
         R"(create view v as
select
    a
from
    t with local check option;
create materialized view m as
select
    a
from
    t with no data)"},
    });
}

TEST(structured_layout_test, comments_stay_where_they_belong) {
    verifyLayouts({
        {"a trailing comment stays at the end of its line; a block comment is never split",
         "select a, -- first\n b /* two\nlines */, c from t -- end",
         R"(select
    a, -- first
    b /* two
lines */,
    c
from
    t -- end)"},
        {"a comment line is as deep as the line before; the next line goes on at its level",
         "select\n  -- columns\n  a,\n  -- the second\n  b\n-- source\nfrom t",
         R"(select
    -- columns
    a,
    -- the second
    b
    -- source
from
    t)"},
        {"comments and blank lines between statements stay",
         "-- header\n\nselect 1; -- after\n\n/* block */\nselect 2",
         R"(-- header

select
    1; -- after

/* block */
select
    2)"},
    });
}

TEST(structured_layout_test, the_authors_line_breaks_and_statements) {
    const KeywordTable noAnd =
        structured({word(u"select", 1), word(u"from", 1), word(u"where", 1), symbol(u",", 1)});
    verifyLayouts({
        {"a line break where no row breaks stays, one level deeper than the pass's last line",
         "select a +\n  b from t where x = 1\n  and y = 2",
         R"(select
    a +
        b
from
    t
where
    x = 1
        and y = 2)",
         &noAnd},
        {"a ) on a line of its own lines up with its (", "select f(a,\n       b\n) from t",
         R"(select
    f(a,
        b
    )
from
    t)"},
        {"a leading word takes the line break after it as one space",
         "select a from t where x = 1 and\n   y = 2",
         R"(select
    a
from
    t
where
    x = 1
    and y = 2)"},
        {"each statement on a line of its own at level 0; blank lines between stay",
         "select 1; select 2;\n\n\nselect 3\n",
         R"(select
    1;
select
    2;


select
    3
)"},
        {"TABs between tokens are spaces, inside literals TABs", "select\ta,\t'x\ty' from t",
         "select\n    a,\n    'x\ty'\nfrom\n    t"},
        {"a byte-order mark stays in front, on no line of its own", "\xEF\xBB\xBFselect a from t",
         "\xEF\xBB\xBFselect\n    a\nfrom\n    t"},
        {"a comma the author put first on a line leads it: never alone on a line",
         "select a\n  , b\n\n  ,c from t", "select\n    a\n    , b\n    ,c\nfrom\n    t"},
        {"so does one of a long group", "create table t (\n  a int\n  , b int\n)",
         "create table t (\n    a int\n    , b int\n)"},
        {"also behind a -- comment", "select a -- first\n, b from t",
         "select\n    a -- first\n    , b\nfrom\n    t"},
    });
}

TEST(structured_layout_test, how_rows_match) {
    const KeywordTable shortFirst =
        structured({word(u"join", 1), word(u"left join", 1), word(u"from", 1)});
    const KeywordTable longFirst =
        structured({word(u"left join", 1), word(u"join", 1), word(u"from", 1)});
    const KeywordTable ties = structured({word(u"FROM", 1), word(u"from", 3), word(u"select", 1)});
    const KeywordTable oldRows = structured(
        {word(u"select", 1), symbol(u"(select", 1), symbol(u";", 0), word(u" from ", 1)});
    verifyLayouts({
        {"the longest keyword wins, the join row first", "x from t left join u",
         "x\nfrom\n    t\nleft join\n    u", &shortFirst},
        {"the longest keyword wins, the join row last", "x from t left join u",
         "x\nfrom\n    t\nleft join\n    u", &longFirst},
        {"among equally long keywords the first in the file", "select a from t",
         "select\n    a\nfrom\n    t", &ties},
        {"a keyword is found over a line break, and laid out as one",
         "select a from t group\n  by a", "select\n    a\nfrom\n    t\ngroup by\n    a"},
        {"never inside a name or behind a dot", "select t.from, from_date, selected from t",
         "select\n    t.from,\n    from_date,\n    selected\nfrom\n    t"},
        {"rows that hold parentheses or ; are not used; spaces around a keyword do not count",
         "select count(selected) from t; select 1",
         "select\n    count(selected)\nfrom\n    t;\nselect\n    1", &oldRows},
        {"letter case", "SELECT A FROM T", "SELECT\n    A\nFROM\n    T"},
    });
}

TEST(structured_layout_test, nesting_is_bounded) {
    // Deeper than any stack of calls would go, and deeper than the level limit of 40.
    const std::size_t depth = 100000;
    std::string query = "select ";
    for (std::size_t i = 0; i < depth; ++i) query += "(select ";
    query += "1";
    for (std::size_t i = 0; i < depth; ++i) query += ")";
    KeywordDir dir;
    dir.writeRows(kRows);
    const std::u16string once = clsMorvant().CArrange(testing_support::u16(query));
    ASSERT_EQ(dir.boxes(), std::vector<std::string>{});
    std::size_t deepest = 0;
    for (std::size_t at = 0; at < once.size();) {
        const std::size_t end = std::min(once.find(u'\r', at), once.size());
        const std::size_t indent = once.find_first_not_of(u' ', at) - at;
        deepest = std::max(deepest, indent);
        at = end + 2;
    }
    EXPECT_EQ(deepest, 41u * 4u) << "blocks at level 40, their text one deeper";
    EXPECT_TRUE(testing_support::withoutSpacing(once) ==
                testing_support::withoutSpacing(testing_support::u16(query)));
    EXPECT_TRUE(clsMorvant().CArrange(once) == once);
}

// CASE without END and ( without ) pile up open groups; the author's line breaks and the ) that
// follow must not look through all of them, or such a text would take a time that grows with
// its square.
TEST(structured_layout_test, open_groups_pile_up_without_cost) {
    std::string query = "select ";
    for (int i = 0; i < 50000; ++i) query += "case (\n";
    for (int i = 0; i < 50000; ++i) query += "x)\n";
    KeywordDir dir;
    dir.writeRows(kRows);
    const std::u16string once = clsMorvant().CArrange(crlf(query.c_str()));
    ASSERT_EQ(dir.boxes(), std::vector<std::string>{});
    EXPECT_TRUE(testing_support::withoutSpacing(once) ==
                testing_support::withoutSpacing(testing_support::u16(query)));
    EXPECT_TRUE(clsMorvant().CArrange(once) == once);
}

TEST(structured_layout_test, a_level_too_deep_is_reported_with_its_row) {
    KeywordDir dir;
    dir.writeRows(structured({word(u"select", 1), word(u"from", 9000)}));
    EXPECT_EQ(clsMorvant().CArrange(u"select a from t"), u"");
    ASSERT_EQ(dir.boxes().size(), 1u);
    EXPECT_EQ(dir.boxes()[0], "6:Overflow: " + dir.file().string() +
                                  " line 3 (\"from\",9000,1): level 9000 cannot be indented "
                                  "(levels -8191..8191 always work)");
}

}  // namespace
}  // namespace pellomar
