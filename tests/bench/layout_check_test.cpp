// The layout checker's rules against short layouts: a good one of each shape passes, a bad one
// shows exactly the faults a reader would name.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LayoutFaults.h"

namespace pellomar::layout_check {
namespace {

struct Case {
    const char* name;
    const char* input;
    const char* output;
    std::vector<std::string> faults;  // one name a finding, in any order
};

std::vector<std::string> namesOf(const Verdict& verdict) {
    std::vector<std::string> names;
    for (const Finding& f : verdict.findings) names.emplace_back(faultName(f.fault));
    std::sort(names.begin(), names.end());
    return names;
}

void expectFaults(const Case& c) {
    SCOPED_TRACE(c.name);
    const Verdict verdict = checkLayout(c.input, c.output);
    ASSERT_EQ(verdict.contentChange, "");
    std::vector<std::string> expected = c.faults;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesOf(verdict), expected) << c.output;
}

// The layouts the issue holds up as the goal, each from its one-line input.
const Case kGoodLayouts[] = {
    {"sample query",
     "select c.customer_id, c.first_name || ' ' || c.last_name as name, count(r.rental_id) as "
     "rentals, sum(p.amount) as paid from customer c inner join rental r on r.customer_id = "
     "c.customer_id left join payment p on p.rental_id = r.rental_id where c.active = 1 and "
     "(p.amount > 0 or p.amount is null) and c.last_name <> 'O''Brien, Jr.' -- skip him, from "
     "the old import\ngroup by c.customer_id, c.first_name, c.last_name having "
     "count(r.rental_id) > 10 order by paid desc",
     "select\n"
     "    c.customer_id,\n"
     "    c.first_name || ' ' || c.last_name as name,\n"
     "    count(r.rental_id) as rentals,\n"
     "    sum(p.amount) as paid\n"
     "from\n"
     "    customer c\n"
     "inner join\n"
     "    rental r\n"
     "    on r.customer_id = c.customer_id\n"
     "left join\n"
     "    payment p\n"
     "    on p.rental_id = r.rental_id\n"
     "where\n"
     "    c.active = 1\n"
     "    and (p.amount > 0 or p.amount is null)\n"
     "    and c.last_name <> 'O''Brien, Jr.' -- skip him, from the old import\n"
     "group by\n"
     "    c.customer_id,\n"
     "    c.first_name,\n"
     "    c.last_name\n"
     "having\n"
     "    count(r.rental_id) > 10\n"
     "order by\n"
     "    paid desc",
     {}},
    {"subquery",
     "select o.id from orders o where exists (select 1 from refunds r where r.order_id = o.id) "
     "and o.total between 10 and 100",
     "select\n"
     "    o.id\n"
     "from\n"
     "    orders o\n"
     "where\n"
     "    exists (\n"
     "        select\n"
     "            1\n"
     "        from\n"
     "            refunds r\n"
     "        where\n"
     "            r.order_id = o.id\n"
     "    )\n"
     "    and o.total between 10 and 100",
     {}},
    {"insert values",
     "insert into archived_orders (id, customer, total) values (1, 'Ann', 10.5), (2, 'Bo', 7)",
     "insert into\n"
     "    archived_orders (id, customer, total)\n"
     "values\n"
     "    (1, 'Ann', 10.5),\n"
     "    (2, 'Bo', 7)",
     {}},
    {"create table",
     "create table orders (id bigint primary key, customer_id int not null references "
     "customers (id) on delete cascade, total numeric(10, 2))",
     "create table orders (\n"
     "    id bigint primary key,\n"
     "    customer_id int not null references customers (id) on delete cascade,\n"
     "    total numeric(10, 2)\n"
     ")",
     {}},
    {"CTE, window and CASE",
     "with totals as (select customer_id, sum(amount) over (partition by customer_id order by "
     "paid_at) as running from payment) select case when running > 100 then 'big' else "
     "'small' end as size from totals",
     "with\n"
     "    totals as (\n"
     "        select\n"
     "            customer_id,\n"
     "            sum(amount) over (partition by customer_id order by paid_at) as running\n"
     "        from\n"
     "            payment\n"
     "    )\n"
     "select\n"
     "    case when running > 100 then 'big' else 'small' end as size\n"
     "from\n"
     "    totals",
     {}},
    {"a view's query part is a query",
     "create or replace view v as select a from t union all select b from u",
     "create or replace view v as\n"
     "select\n"
     "    a\n"
     "from\n"
     "    t\n"
     "union all\n"
     "select\n"
     "    b\n"
     "from\n"
     "    u",
     {}},
    {"a CTE named like a phrase's second word",
     "with data as (select 1) select * from data",
     "with\n"
     "    data as (\n"
     "        select\n"
     "            1\n"
     "    )\n"
     "select\n"
     "    *\n"
     "from\n"
     "    data",
     {}},
    {"update from, delete using, insert select",
     "update t set a = s.a from s where t.id = s.id; delete from payment p using rental r where "
     "p.rental_id = r.rental_id and (r.return_date is null or p.amount < 0); insert into t (a, "
     "b) select a, b from s on conflict (a) do update set b = excluded.b",
     "update\n"
     "    t\n"
     "set\n"
     "    a = s.a\n"
     "from\n"
     "    s\n"
     "where\n"
     "    t.id = s.id;\n"
     "delete from\n"
     "    payment p\n"
     "using\n"
     "    rental r\n"
     "where\n"
     "    p.rental_id = r.rental_id\n"
     "    and (r.return_date is null or p.amount < 0);\n"
     "insert into\n"
     "    t (a, b)\n"
     "select\n"
     "    a,\n"
     "    b\n"
     "from\n"
     "    s\n"
     "on conflict (a) do update set b = excluded.b",
     {}},
    {"DDL one statement a line",
     "create index i on t (a) where x > 0; grant select on t to u; alter table t add column c "
     "timestamp with time zone default now()",
     "create index i on t (a) where x > 0;\n"
     "grant select on t to u;\n"
     "alter table t add column c timestamp with time zone default now()",
     {}},
    {"breaks the author wrote are the author's",
     "select coalesce(a,\n  b)\nfrom t",
     "select\n    coalesce(a,\n  b)\nfrom\n    t",
     {}},
    {"one line stays one line", "grant select on t to u", "grant select on t to u", {}},
};

TEST(layout_check_test, good_layouts_have_no_fault) {
    for (const Case& c : kGoodLayouts) expectFaults(c);
}

// Each kind, bad and good side by side. The bad outputs are what the classic rows make of the
// inputs; the good ones what a careful person writes.
const Case kFaults[] = {
    {"split-phrase: a join keyword split by the bare join row",
     "select a from t inner join u on u.id = t.id",
     "select\n    a\nfrom\n    t\ninner\njoin\n    u\non\n    u.id = t.id",
     {"split-phrase", "fragment-line", "fragment-line"}},
    {"split-phrase: union all",
     "select 1 union all select 2",
     "select\n    1\nunion\nall\nselect\n    2",
     {"split-phrase", "fragment-line", "fragment-line"}},
    {"split-phrase: a phrase that starts a line whole is fine",
     "insert into t values (1) on conflict do nothing",
     "insert into\n    t\nvalues\n    (1)\non conflict do nothing",
     {}},

    {"fragment-line: with time zone broken by the with row, in DDL",
     "alter table t add column c timestamp with time zone",
     "alter table t add column c timestamp\nwith\n    time zone",
     {"split-phrase", "fragment-line", "fragment-line", "role-clause", "role-clause"}},
    {"fragment-line: a line that also holds other code is no fragment",
     "select a is distinct from b",
     "select\n    a is distinct\nfrom\n    b",
     {"split-phrase", "fragment-line", "role-clause"}},

    {"lone-comma: a leading comma broken behind as well",
     "select a\n, b from t",
     "select\n    a\n        ,\n    b\nfrom\n    t",
     {"lone-comma"}},
    {"lone-comma: a leading comma that leads its line, or one behind a comment, is fine",
     "select a -- x\n, b, c from t",
     "select\n    a -- x\n    , b,\n    c\nfrom\n    t",
     {}},

    {"between-and: broken at its and",
     "select a from t where a between 1 and 2 and b = 1",
     "select\n    a\nfrom\n    t\nwhere\n    a between 1\n    and\n        2\n    and\n        b = "
     "1",
     {"between-and"}},
    {"between-and: the next and may break",
     "select a from t where a between 1 and 2 and b = 1",
     "select\n    a\nfrom\n    t\nwhere\n    a between 1 and 2\n    and b = 1",
     {}},

    {"broken-call: a short call",
     "select coalesce(a, b) from t",
     "select\n    coalesce(a,\n    b)\nfrom\n    t",
     {"broken-call"}},
    {"broken-call: a window clause",
     "select rank() over (partition by a order by b) from t",
     "select\n    rank() over (partition by a\norder by\n    b)\nfrom\n    t",
     {"broken-call"}},
    {"broken-call: extract at its from",
     "select extract(year from d) from t",
     "select\n    extract(year\nfrom\n    d)\nfrom\n    t",
     {"broken-call"}},
    {"broken-call: a long call one argument a line",
     "select concat('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa', "
     "'bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb', 'cccccccccccccccccccccccccccccc') from t",
     "select\n"
     "    concat(\n"
     "        'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa',\n"
     "        'bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb',\n"
     "        'cccccccccccccccccccccccccccccc'\n"
     "    )\n"
     "from\n"
     "    t",
     {}},
    {"broken-call: named arguments in block style",
     "select f(a => 1, b => 2)",
     "select\n    f(\n        a => 1,\n        b => 2\n    )",
     {}},
    {"broken-call: an array's brackets",
     "select array[1, 2] from t",
     "select\n    array[1,\n    2]\nfrom\n    t",
     {"broken-call"}},
    {"broken-call: a call whose line would be long with what follows it",
     "select coalesce(a, b) || "
     "'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' as "
     "label from t",
     "select\n"
     "    coalesce(\n"
     "        a,\n"
     "        b\n"
     "    ) || "
     "'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'"
     " as label\n"
     "from\n"
     "    t",
     {}},
    {"broken-call: a call around a subquery is the subquery's",
     "select coalesce((select max(a) from u), 0) from t",
     "select\n"
     "    coalesce(\n"
     "        (\n"
     "            select\n"
     "                max(a)\n"
     "            from\n"
     "                u\n"
     "        ),\n"
     "        0\n"
     "    )\n"
     "from\n"
     "    t",
     {}},

    {"values-tuple: tuples one item a line",
     "insert into t values (1, 'a'), (2, 'b')",
     "insert into\n    t\nvalues\n    (1,\n    'a'),\n    (2,\n    'b')",
     {"values-tuple", "values-tuple"}},
    {"in-list: one item a line",
     "select a from t where a in (1, 2)",
     "select\n    a\nfrom\n    t\nwhere\n    a in (1,\n    2)",
     {"in-list"}},
    {"in-list: a subquery in IN is a block",
     "select a from t where a in (select b from u)",
     "select\n    a\nfrom\n    t\nwhere\n    a in (\n        select\n            b\n        from\n"
     "            u\n    )",
     {}},
    {"insert-columns: one column a line",
     "insert into t (a, b) select 1, 2",
     "insert into\n    t (a,\n    b)\nselect\n    1,\n    2",
     {"insert-columns"}},

    {"block-indent: a subquery at its outer query's levels",
     "select * from t where exists (select 1 from u where u.id = t.id)",
     "select\n    *\nfrom\n    t\nwhere\n    exists (select\n    1\nfrom\n    u\nwhere\n"
     "    u.id = t.id)",
     {"block-indent"}},
    {"block-indent: a ) shallower than its opener",
     "select * from (select 1) x",
     "select\n    *\nfrom\n    (\n        select\n            1\n) x",
     {"block-indent"}},

    {"block-indent: a CTE that changes data",
     "with t as (delete from u returning *) select * from t",
     "with\n    t as (\ndelete from\n    u\nreturning\n    *\n)\nselect\n    *\nfrom\n    t",
     {"block-indent"}},
    {"group-indent: or at the level of the outer ands",
     "select a from t where c.active = 1 and (p.amount > 0 or p.amount is null)",
     "select\n    a\nfrom\n    t\nwhere\n    c.active = 1\n    and (p.amount > 0\n    or\n"
     "        p.amount is null)",
     {"group-indent"}},
    {"group-indent: a group laid out under its opener",
     "select a from t where c.active = 1 and (p.amount > 0 or p.amount is null)",
     "select\n    a\nfrom\n    t\nwhere\n    c.active = 1\n    and (\n        p.amount > 0\n"
     "        or p.amount is null\n    )",
     {}},

    {"role-clause: create index laid out as a query",
     "create index i on t (a) where x > 0",
     "create index i\non\n    t (a)\nwhere\n    x > 0",
     {"role-clause", "role-clause", "role-clause", "role-clause"}},
    {"role-clause: ALTER TABLE … SET and WITH (…) options",
     "alter table t alter column c set default 0; create table u (a int) with (fillfactor = 70)",
     "alter table t alter column c\nset\n    default 0;\ncreate table u (a int)\nwith\n"
     "    (fillfactor = 70)",
     {"role-clause", "role-clause", "role-clause", "role-clause", "split-phrase", "fragment-line"}},
    {"role-clause: a foreign key's on delete",
     "create table t (a int references u (id) on delete no action, b int)",
     "create table t (\n    a int references u (id)\n    on\n        delete no action,\n    b "
     "int\n)",
     {"role-clause", "role-clause", "split-phrase", "fragment-line"}},
    {"role-clause: default values",
     "insert into t default values",
     "insert into\n    t default\nvalues",
     {"role-clause", "split-phrase", "fragment-line"}},
    {"role-clause: grant laid out as a query",
     "grant select on t to u",
     "grant select\non\n    t\nto\n    u",
     {"role-clause", "role-clause", "role-clause", "role-clause"}},
    {"role-clause: DDL broken where no keyword is left alone",
     "alter table orders add constraint orders_customer_id_fkey foreign key (customer_id) "
     "references customers (id) on delete cascade, add column b int",
     "alter table orders\n"
     "    add constraint orders_customer_id_fkey foreign key (customer_id)\n"
     "        references customers (id) on delete cascade,\n"
     "    add column b int",
     {}},
    {"role-clause: names one a line",
     "vacuum tbl1, tbl2",
     "vacuum tbl1,\n    tbl2",
     {"role-clause"}},
    {"role-clause: actions one a line",
     "alter table t alter a type int, alter b type int",
     "alter table t\n    alter a type int,\n    alter b type int",
     {}},
    {"role-clause: AS alone before a view's query",
     "create view v as select a from t",
     "create view v\nas\nselect\n    a\nfrom\n    t",
     {}},
    {"role-clause: AS alone before a function's body, at one indentation",
     "create function f() returns int as 'select 1'",
     "create function f() returns int\nas\n'select 1'",
     {}},
    {"role-clause: AS laid out as a clause",
     "create function f() returns int as 'select 1'",
     "create function f() returns int\nas\n    'select 1'",
     {"role-clause", "role-clause"}},
    {"role-clause: a function's options one a line",
     "create function f() returns int language sql immutable strict as 'select 1'",
     "create function f() returns int\n    language sql\n    immutable\n    strict\n"
     "    as 'select 1'",
     {}},
    {"role-clause: a merge action alone on its line",
     "merge into t using s on t.id = s.id when matched then update set a = b",
     "merge into t using s on t.id = s.id when matched then\nupdate\nset\n    a = b",
     {"role-clause"}},
    {"role-clause: a merge action starting its line",
     "merge into t using s on t.id = s.id when matched then update set a = b",
     "merge into t using s on t.id = s.id when matched then\n    update set a = b",
     {}},
    {"role-clause: DELETE is a whole merge action",
     "merge into t using s on t.id = s.id when matched then delete",
     "merge into t using s on t.id = s.id when matched then\n    delete",
     {}},
    {"role-clause: WITH NO DATA starting its line",
     "create materialized view v as select 1 with no data",
     "create materialized view v as\nselect\n    1\nwith no data",
     {}},
    {"role-clause: WITH laid out as a clause",
     "create materialized view v as select 1 with no data",
     "create materialized view v as\nselect\n    1\nwith\n    no data",
     {"role-clause", "split-phrase", "fragment-line", "fragment-line"}},
    {"role-clause: the statements of a BEGIN ATOMIC body are queries",
     "create function f() returns int language sql begin atomic select 1; end",
     "create function f() returns int language sql begin atomic\nselect\n    1;\nend",
     {}},

    {"table-columns: columns after the ( and the ) on the last one's line",
     "create table t (a int, b int)",
     "create table t (a int,\n    b int)",
     {"table-columns"}},
    {"table-columns: columns at two indentations",
     "create table t (a int, b int)",
     "create table t (\n        a int,\n    b int\n)",
     {"table-columns"}},
    {"table-columns: leading commas",
     "create table t (a int, b int)",
     "create table t (\n    a int\n    , b int\n)",
     {}},
    {"table-columns: CREATE TABLE … AS names no column definitions",
     "create table t (a, b) as select 1, 2",
     "create table t (a, b) as select 1, 2",
     {}},
    {"table-columns: one column may stay on one line",
     "create table t (a int)",
     "create table t (a int)",
     {}},

    {"comment-moved: a trailing comment put on a line of its own",
     "select a, -- first\n b from t",
     "select\n    a,\n    -- first\n    b\nfrom\n    t",
     {"comment-moved"}},
    {"comment-moved: a comment line joined to the code before",
     "select a\n-- the source\nfrom t",
     "select a -- the source\nfrom t",
     {"comment-moved"}},
    {"comment-moved: a trailing comment kept",
     "select a, -- first\n b from t",
     "select\n    a, -- first\n    b\nfrom\n    t",
     {}},

    {"keyword-in-identifier: and inside brand",
     "select brand from t",
     "select br\n    and\nfrom t",
     {"keyword-in-identifier"}},
    {"keyword-in-identifier: (select inside (selected",
     "select count(selected) from t",
     "select\n    count(select\n    ed)\nfrom\n    t",
     {"keyword-in-identifier"}},

    {"long-line: code past 120 characters",
     "select aaaaaaaaaaaaaaaaaaaa, bbbbbbbbbbbbbbbbbbbb, cccccccccccccccccccc, "
     "dddddddddddddddddddd, eeeeeeeeeeeeeeeeeeee, ffffffffffffffffffff from t",
     "select aaaaaaaaaaaaaaaaaaaa, bbbbbbbbbbbbbbbbbbbb, cccccccccccccccccccc, "
     "dddddddddddddddddddd, eeeeeeeeeeeeeeeeeeee, ffffffffffffffffffff\nfrom t",
     {"long-line"}},
    {"long-line: a literal that cannot be broken",
     "select 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' as a from t",
     "select 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' as a\nfrom t",
     {}},

    {"literal-changed: a dollar-quoted body laid out as SQL",
     "create function f() returns int as $$ select 1 from t $$ language sql",
     "create function f() returns int as $$ select\n    1\nfrom\n    t $$ language sql",
     {"literal-changed"}},
};

TEST(layout_check_test, each_fault_kind_bad_and_good) {
    for (const Case& c : kFaults) expectFaults(c);
}

// Whatever else changed is no layout: the checker says what, and looks for no fault.
struct ContentCase {
    const char* name;
    const char* input;
    const char* output;
};
const ContentCase kContentChanges[] = {
    {"a word changed", "select a from t", "select b from t"},
    {"two words run together", "select a from t", "select afrom t"},
    {"a -- comment runs on into the code", "select a -- note\nfrom t", "select a -- note from t"},
    {"text added", "select a", "select a;"},
};

TEST(layout_check_test, more_than_whitespace_changed) {
    for (const ContentCase& c : kContentChanges) {
        SCOPED_TRACE(c.name);
        const Verdict verdict = checkLayout(c.input, c.output);
        EXPECT_NE(verdict.contentChange, "");
        EXPECT_TRUE(verdict.findings.empty());
    }
}

TEST(layout_check_test, cr_lf_line_ends_read_as_lf) {
    const Verdict verdict =
        checkLayout("select a from t inner join u on true",
                    "select\r\n    a\r\nfrom\r\n    t\r\ninner join\r\n    u\r\non\r\n    true");
    EXPECT_EQ(verdict.contentChange, "");
    EXPECT_TRUE(verdict.findings.empty());
}

TEST(layout_check_test, findings_name_the_lines_that_show_them) {
    const Verdict verdict =
        checkLayout("select coalesce(a, b) from t", "select\n    coalesce(a,\n    b)\nfrom\n    t");
    ASSERT_EQ(verdict.findings.size(), 1U);
    EXPECT_EQ(verdict.findings[0].firstLine, 1);
    EXPECT_EQ(verdict.findings[0].lastLine, 2);
}

}  // namespace
}  // namespace pellomar::layout_check
