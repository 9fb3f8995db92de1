#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pellomar::bench {

// Everyday SQL of about `bytes` bytes (UTF-8, LF line ends), the same for the same seed: a mix of
// multi-line queries with joins, subqueries and CASE, updates, deletes, comments and long
// INSERT ... VALUES scripts, as people paste them.
std::string generateSql(std::size_t bytes, std::uint64_t seed = 42);

}  // namespace pellomar::bench
