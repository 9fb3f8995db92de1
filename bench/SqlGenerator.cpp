#include "SqlGenerator.h"

#include <array>
#include <string_view>

#include "SplitMix64.h"

namespace pellomar::bench {

namespace {

using Random = SplitMix64;

constexpr std::array<std::string_view, 8> kTables = {
    "orders", "customers", "order_lines", "products", "invoices", "payments", "regions", "staff"};
constexpr std::array<std::string_view, 12> kColumns = {
    "id",     "customer_id", "order_id", "product_id", "quantity", "unit_price",
    "status", "created_at",  "region",   "name",       "email",    "total_amount"};
constexpr std::array<std::string_view, 8> kWords = {
    "shipped", "open", "O'Brien, Pat", "Müller", "naïve café", "back-order", "北京", "n/a"};
// The bodies of E'' strings as written, backslash escapes and all: an escaped quote, a line
// break, a TAB, a backslash before the closing quote.
constexpr std::array<std::string_view, 5> kEscaped = {R"(it\'s shipped)", R"(line one\nline two)",
                                                      R"(a\tb)", R"(C:\\exports\\)",
                                                      R"(say \'select\' and \'from\')"};
constexpr std::array<std::string_view, 6> kTypes = {
    "bigint", "int", "numeric(10, 2)", "varchar(80)", "text", "timestamp with time zone"};
constexpr std::array<std::string_view, 4> kRoles = {"reporting", "app_user", "auditor", "public"};
constexpr std::array<std::string_view, 5> kAggregates = {"sum", "avg", "max", "min", "count"};

std::string quoted(std::string_view s) {
    std::string out = "'";
    for (const char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// Appends its arguments in order. Every random draw is a statement of its own, so that the text
// does not depend on the order in which a compiler evaluates the operands of a long «+» chain.
template <class... Parts>
void put(std::string& out, const Parts&... parts) {
    (out.append(parts), ...);
}

std::string number(std::size_t n) {
    return std::to_string(n);
}

// A literal for a text column: mostly plain strings, now and then an E'' string with escapes.
std::string textLiteral(Random& r) {
    if (r.chance(10)) return "E'" + std::string(r.pick(kEscaped)) + "'";
    return quoted(r.pick(kWords));
}

// The queries of a report, upper case, as many tools write them: joins, CASE, a subquery in an
// IN list, a comment before and inside.
void select(Random& r, std::string& out) {
    const std::string_view a = r.pick(kTables);
    const std::string_view b = r.pick(kTables);
    put(out, "-- report ", number(r.below(1000)), ": totals per ", b, "\n");
    put(out, "SELECT a.", r.pick(kColumns));
    put(out, ", b.", r.pick(kColumns), ",\n       SUM(a.quantity * a.unit_price) AS total,\n");
    put(out, "       CASE WHEN a.status = ", quoted(r.pick(kWords)));
    put(out, " THEN 1 WHEN a.status = 'open' THEN 2 ELSE 0 END AS state\n");
    put(out, "FROM ", a, " a\n");
    put(out, "INNER JOIN ", b, " b ON b.id = a.", r.pick(kColumns), "\n");
    if (r.below(2) == 0) {
        put(out, "LEFT OUTER JOIN ", r.pick(kTables));
        put(out, " c ON c.id = b.id AND c.", r.pick(kColumns), " IS NOT NULL\n");
    }
    put(out, "WHERE a.created_at >= '2024-0", number(1 + r.below(9)), "-01'\n");
    put(out, "  AND (a.total_amount > ", number(r.below(5000)));
    put(out, " OR b.region = ", quoted(r.pick(kWords)), ")\n");
    put(out, "  AND b.region IN (SELECT region FROM regions WHERE active = 1 /* live only */)\n");
    put(out, "GROUP BY a.", r.pick(kColumns));
    put(out, ", b.", r.pick(kColumns), "\n");
    put(out, "HAVING COUNT(*) > ", number(r.below(10)), "\n");
    put(out, "ORDER BY total DESC, b.name;\n\n");
}

// A CTE chain, lower case, as people write them by hand; now and then recursive.
void cte(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    if (r.chance(20)) {
        put(out, "with recursive chain (id, parent_id, depth) as (\n");
        put(out, "    select id, parent_id, 0 from ", t, " where parent_id is null\n");
        put(out, "    union all\n");
        put(out, "    select c.id, c.parent_id, p.depth + 1\n");
        put(out, "    from ", t, " c\n    join chain p on p.id = c.parent_id\n");
        put(out, "    where p.depth < ", number(3 + r.below(20)), "\n)\n");
        put(out, "select depth, count(*) from chain group by depth order by depth;\n\n");
        return;
    }
    put(out, "with recent as (\n    select customer_id, ", r.pick(kAggregates));
    put(out, "(total_amount) as spent\n    from ", t, "\n");
    put(out, "    where created_at >= date '2024-0", number(1 + r.below(9)), "-01'\n");
    put(out, "    group by customer_id\n), ranked as (\n");
    put(out, "    select r.*, rank() over (order by r.spent desc) as pos\n");
    put(out, "    from recent r\n)\n");
    put(out, "select c.name, r.spent, r.pos -- top spenders\n");
    put(out, "from ranked r\njoin customers c on c.id = r.customer_id\n");
    put(out, "where r.pos <= ", number(5 + r.below(50)), "\norder by r.pos;\n\n");
}

// Subqueries in every place they go: the select list (correlated), FROM, EXISTS, nested IN
// lists, a comparison with a correlated aggregate.
void nested(Random& r, std::string& out) {
    const std::string_view c = r.pick(kColumns);
    put(out, "SELECT o.id, o.", c, ",\n");
    put(out, "       (SELECT max(p.created_at) FROM payments p WHERE p.order_id = o.id)");
    put(out, " AS last_paid\n");
    put(out, "FROM (SELECT * FROM orders WHERE status <> ", quoted(r.pick(kWords)), ") AS o\n");
    put(out, "WHERE EXISTS (SELECT 1 FROM order_lines l WHERE l.order_id = o.id");
    put(out, " AND l.quantity > ", number(r.below(10)), ")\n");
    put(out, "  AND o.customer_id IN (SELECT id FROM customers WHERE region IN\n");
    put(out, "        (SELECT region FROM regions WHERE active = 1))\n");
    put(out, "  AND o.total_amount > (SELECT avg(o2.total_amount) FROM orders o2\n");
    put(out, "                        WHERE o2.customer_id = o.customer_id)\n");
    put(out, "  AND NOT EXISTS (SELECT 1 FROM invoices i WHERE i.order_id = o.id);\n\n");
}

// Window functions: windows written inline, frames, a named window.
void window(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    put(out, "select id, customer_id,\n");
    put(out, "       row_number() over (partition by customer_id order by created_at desc)");
    put(out, " as rn,\n");
    put(out, "       ", r.pick(kAggregates), "(total_amount) over (partition by customer_id");
    put(out, " order by created_at\n");
    put(out, "           rows between unbounded preceding and current row) as running,\n");
    put(out, "       lag(total_amount, 1, 0) over w as previous,\n");
    put(out, "       count(*) filter (where status = ", quoted(r.pick(kWords)));
    put(out, ") over w as same_status\n");
    put(out, "from ", t, "\nwhere created_at between '2024-01-01' and '2024-0");
    put(out, number(1 + r.below(9)), "-28'\n");
    put(out, "window w as (partition by region order by id)\n");
    put(out, "order by customer_id, rn\nlimit ", number(10 + r.below(990)), ";\n\n");
}

// A UNION chain of a few arms, with INTERSECT and EXCEPT among them.
void unionChain(Random& r, std::string& out) {
    constexpr std::array<std::string_view, 5> kSetOps = {"UNION ALL", "UNION ALL", "UNION",
                                                         "EXCEPT", "INTERSECT"};
    const std::size_t arms = 2 + r.below(4);
    for (std::size_t i = 0; i < arms; ++i) {
        if (i > 0) put(out, r.pick(kSetOps), "\n");
        put(out, "SELECT id, name, '", r.pick(kTables), "' AS source FROM ", r.pick(kTables));
        put(out, " WHERE ", r.pick(kColumns), " IS NOT NULL\n");
    }
    put(out, "ORDER BY 2, 1;\n\n");
}

// A script's long INSERT ... VALUES, one tuple a line.
void insert(Random& r, std::string& out) {
    put(out, "INSERT INTO ", r.pick(kTables),
        " (id, customer_id, status, quantity, unit_price, created_at, name) VALUES\n");
    const std::size_t rows = 20 + r.below(100);
    for (std::size_t i = 0; i < rows; ++i) {
        put(out, "(", number(r.below(1000000)));
        put(out, ", ", number(r.below(5000)));
        put(out, ", ", textLiteral(r));
        put(out, ", ", number(r.below(100)));
        put(out, ", ", number(r.below(10000)));
        put(out, ".", number(r.below(100)));
        put(out, ", '2025-", number(10 + r.below(3)));
        put(out, "-", number(10 + r.below(18)), " 12:00:00', ");
        put(out, quoted(r.pick(kWords)), ")", i + 1 < rows ? ",\n" : ";\n\n");
    }
}

// INSERT ... SELECT, with an upsert now and then.
void insertSelect(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    put(out, "INSERT INTO archived_", t, " (id, customer_id, total_amount)\n");
    put(out, "SELECT id, customer_id, total_amount FROM ", t, "\n");
    put(out, "WHERE created_at < '20", number(10 + r.below(15)), "-01-01'");
    if (r.chance(50)) {
        put(out, "\nON CONFLICT (id) DO UPDATE SET total_amount = EXCLUDED.total_amount");
    }
    put(out, ";\n\n");
}

// UPDATE, plain or with a FROM list and RETURNING.
void update(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    if (r.chance(50)) {
        put(out, "UPDATE ", t);
        put(out, "\n   SET status = ", textLiteral(r));
        put(out, ", quantity = quantity - 1\n WHERE id = ", number(r.below(100000)));
        put(out, " AND status <> 'closed';\n\n");
        return;
    }
    put(out, "update ", t, " o\nset status = 'paid', total_amount = i.amount\n");
    put(out, "from invoices i\njoin payments p on p.invoice_id = i.id\n");
    put(out, "where i.order_id = o.id\n  and p.amount >= ", number(r.below(500)));
    put(out, " -- settled in full\nreturning o.id, o.status;\n\n");
}

// DELETE, plain with a NOT IN subquery or with USING.
void remove(Random& r, std::string& out) {
    if (r.chance(50)) {
        put(out, "DELETE FROM ", r.pick(kTables));
        put(out, " WHERE created_at < '2020-01-01' AND id NOT IN");
        put(out, " (SELECT order_id FROM invoices);\n\n");
        return;
    }
    put(out, "delete from order_lines l\nusing orders o, customers c\n");
    put(out, "where l.order_id = o.id and o.customer_id = c.id\n");
    put(out, "  and c.region = ", quoted(r.pick(kWords)), ";\n\n");
}

// CREATE TABLE with column constraints, a reference and a table constraint.
void createTable(Random& r, std::string& out) {
    const std::size_t n = r.below(1000);
    put(out, "/* ", r.pick(kTables), " kept per year */\n");
    put(out, "CREATE TABLE IF NOT EXISTS archive_", number(n), " (\n");
    put(out, "    id bigint PRIMARY KEY,\n");
    put(out, "    customer_id int NOT NULL REFERENCES customers (id) ON DELETE CASCADE,\n");
    const std::size_t columns = 2 + r.below(6);
    for (std::size_t i = 0; i < columns; ++i) {
        put(out, "    ", r.pick(kColumns), "_", number(i), " ", r.pick(kTypes));
        if (r.chance(30)) put(out, " DEFAULT ", quoted(r.pick(kWords)));
        put(out, ",\n");
    }
    put(out, "    status varchar(20) CHECK (status IN ('open', 'shipped', 'closed')),\n");
    put(out, "    UNIQUE (customer_id, id)\n);\n\n");
}

// A view over a join: a query inside a DDL statement.
void createView(Random& r, std::string& out) {
    put(out, "CREATE OR REPLACE VIEW open_", r.pick(kTables), " AS\n");
    put(out, "SELECT o.id, c.name, o.total_amount\nFROM orders o\n");
    put(out, "JOIN customers c ON c.id = o.customer_id\n");
    put(out, "WHERE o.status = ", quoted(r.pick(kWords)), "\nWITH LOCAL CHECK OPTION;\n\n");
}

void createIndex(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    const std::string_view c = r.pick(kColumns);
    if (r.chance(50)) {
        put(out, "CREATE INDEX ", t, "_", c, "_idx ON ", t, " (", c, ", created_at)");
        put(out, " WHERE status <> 'closed';\n\n");
    } else {
        put(out, "create unique index concurrently ", t, "_lower_", c, " on ", t);
        put(out, " using btree (lower(", c, "));\n\n");
    }
}

void alterTable(Random& r, std::string& out) {
    const std::string_view t = r.pick(kTables);
    if (r.chance(50)) {
        put(out, "ALTER TABLE ", t, " ADD COLUMN note_", number(r.below(100)), " text,\n");
        put(out, "    ALTER COLUMN status SET DEFAULT ", quoted(r.pick(kWords)), ";\n\n");
    } else {
        put(out, "ALTER TABLE ", t, " ADD CONSTRAINT ", t, "_fk FOREIGN KEY (order_id)");
        put(out, " REFERENCES orders (id) ON DELETE CASCADE ON UPDATE NO ACTION;\n\n");
    }
}

void grant(Random& r, std::string& out) {
    put(out, "GRANT SELECT, INSERT, UPDATE ON ", r.pick(kTables), ", ", r.pick(kTables));
    put(out, " TO ", r.pick(kRoles), ";\n");
    put(out, "REVOKE ALL ON ", r.pick(kTables), " FROM ", r.pick(kRoles), ";\n\n");
}

// A function or DO block whose dollar-quoted body holds SQL keywords, TABs and a comment: the
// body is a literal.
void function(Random& r, std::string& out) {
    const bool tagged = r.chance(50);
    const std::string_view quote = tagged ? "$body$" : "$$";
    const std::string_view t = r.pick(kTables);
    if (r.chance(25)) {
        put(out, "DO ", quote, "\nBEGIN\n\tUPDATE ", t, " SET status = 'closed' WHERE id = ");
        put(out, number(r.below(1000)), ";\nEND\n", quote, ";\n\n");
        return;
    }
    put(out, "CREATE OR REPLACE FUNCTION touch_", t, "() RETURNS trigger\n");
    put(out, "LANGUAGE plpgsql AS ", quote, "\nBEGIN\n");
    put(out, "\t-- keep the time of the last change\n\tNEW.created_at := now();\n");
    put(out, "\tIF NEW.status = ", quoted(r.pick(kWords)), " THEN\n");
    put(out, "\t\tSELECT count(*) INTO NEW.quantity FROM order_lines WHERE order_id = NEW.id;\n");
    put(out, "\tEND IF;\n\tRETURN NEW;\nEND;\n", quote, ";\n\n");
}

// How often each shape comes, in a hundred statements: most are queries and INSERT ... VALUES,
// which, with their many tuples, are most of the bytes, as in the scripts people paste; DDL and
// function bodies come now and then.
struct Shape {
    void (*write)(Random&, std::string&);
    std::size_t weight;
};
constexpr std::array<Shape, 15> kShapes = {{
    {select, 26},
    {cte, 9},
    {nested, 8},
    {window, 6},
    {unionChain, 5},
    {insert, 12},
    {insertSelect, 4},
    {update, 7},
    {remove, 5},
    {createTable, 4},
    {createView, 3},
    {createIndex, 3},
    {alterTable, 3},
    {grant, 2},
    {function, 3},
}};

constexpr std::size_t kTotalWeight = [] {
    std::size_t sum = 0;
    for (const Shape& s : kShapes) sum += s.weight;
    return sum;
}();

}  // namespace

std::string generateSql(std::size_t bytes, std::uint64_t seed) {
    Random r(seed);
    std::string out;
    out.reserve(bytes + 16384);
    while (out.size() < bytes) {
        std::size_t draw = r.below(kTotalWeight);
        for (const Shape& s : kShapes) {
            if (draw < s.weight) {
                s.write(r, out);
                break;
            }
            draw -= s.weight;
        }
    }
    // Cut at the last line end within the size, so every input ends with a whole line.
    const std::size_t cut = out.rfind('\n', bytes);
    out.resize(cut == std::string::npos ? bytes : cut + 1);
    return out;
}

}  // namespace pellomar::bench
