#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pellomar::bench {

// Everyday SQL of about `bytes` bytes (UTF-8, LF line ends), the same for the same seed, mixed as
// the scripts people paste: mostly queries (joins, CASE, CTEs, nested and correlated subqueries,
// window functions, UNION chains) and long INSERT ... VALUES scripts, then INSERT ... SELECT,
// UPDATE ... FROM, DELETE ... USING, now and then CREATE TABLE/VIEW/INDEX, ALTER TABLE, GRANT and
// functions with dollar-quoted bodies; comments of both kinds and E'' strings among them.
std::string generateSql(std::size_t bytes, std::uint64_t seed = 42);

}  // namespace pellomar::bench
