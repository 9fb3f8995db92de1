#pragma once

// A small deterministic generator (splitmix64), so that a seed means the same cases everywhere:
// in the generated tests and in the benchmark's generated SQL. Header-only, so that the
// benchmark needs nothing else from the test support.

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace pellomar {

class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <class Container>
    const auto& pick(const Container& from) {
        return from[below(std::size(from))];
    }

  private:
    std::uint64_t state_;
};

}  // namespace pellomar
