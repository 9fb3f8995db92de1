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

void insert(Random& r, std::string& out) {
    put(out, "INSERT INTO ", r.pick(kTables),
        " (id, customer_id, status, quantity, unit_price, created_at, name) VALUES\n");
    const std::size_t rows = 50 + r.below(150);
    for (std::size_t i = 0; i < rows; ++i) {
        put(out, "(", number(r.below(1000000)));
        put(out, ", ", number(r.below(5000)));
        put(out, ", ", quoted(r.pick(kWords)));
        put(out, ", ", number(r.below(100)));
        put(out, ", ", number(r.below(10000)));
        put(out, ".", number(r.below(100)));
        put(out, ", '2025-", number(10 + r.below(3)));
        put(out, "-", number(10 + r.below(18)), " 12:00:00', ");
        put(out, quoted(r.pick(kWords)), ")", i + 1 < rows ? ",\n" : ";\n\n");
    }
}

void update(Random& r, std::string& out) {
    put(out, "UPDATE ", r.pick(kTables));
    put(out, "\n   SET status = ", quoted(r.pick(kWords)));
    put(out, ", quantity = quantity - 1\n WHERE id = ", number(r.below(100000)));
    put(out, " AND status <> 'closed';\n\n");
    put(out, "DELETE FROM ", r.pick(kTables));
    put(out, " WHERE created_at < '2020-01-01' AND id NOT IN (SELECT order_id FROM invoices);\n\n");
}

}  // namespace

std::string generateSql(std::size_t bytes, std::uint64_t seed) {
    Random r(seed);
    std::string out;
    out.reserve(bytes + 16384);
    while (out.size() < bytes) {
        const std::size_t kind = r.below(10);
        if (kind < 5) {
            select(r, out);
        } else if (kind < 7) {
            insert(r, out);
        } else {
            update(r, out);
        }
    }
    // Cut at the last line end within the size, so every input ends with a whole line.
    const std::size_t cut = out.rfind('\n', bytes);
    out.resize(cut == std::string::npos ? bytes : cut + 1);
    return out;
}

}  // namespace pellomar::bench
