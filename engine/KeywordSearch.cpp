#include "KeywordSearch.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "Host.h"

namespace pellomar {

namespace {

// The code units that lower to c (c itself among them when it stays itself), at most four; an
// empty answer when there are more.
std::vector<char16_t> unitsLoweringTo(char16_t c) {
    // Few code units change when lowered: their inverse, sorted, found once.
    static const std::vector<std::pair<char16_t, char16_t>> changed = [] {
        const char16_t* lower = platform::lowerTable();
        std::vector<std::pair<char16_t, char16_t>> pairs;
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            if (lower[u] != u) pairs.emplace_back(lower[u], static_cast<char16_t>(u));
        }
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }();
    std::vector<char16_t> units;
    if (platform::lowerTable()[c] == c) units.push_back(c);
    auto it = std::lower_bound(changed.begin(), changed.end(), std::pair<char16_t, char16_t>(c, 0));
    for (; it != changed.end() && it->first == c; ++it) units.push_back(it->second);
    if (units.size() > 4) units.clear();
    return units;
}

}  // namespace

KeywordSearch::KeywordSearch(std::u16string needle)
    : needle_(std::move(needle)), lower_(platform::lowerTable()) {
    const std::vector<char16_t> first = unitsLoweringTo(needle_.front());
    const std::vector<char16_t> last = unitsLoweringTo(needle_.back());
    if (first.empty() || last.empty()) return;
    forms_ = std::max(first.size(), last.size());
    // The character with fewer forms repeats its last one.
    for (std::size_t j = 0; j < forms_; ++j) {
        first_[j] = first[std::min(j, first.size() - 1)];
        last_[j] = last[std::min(j, last.size() - 1)];
    }
}

std::size_t KeywordSearch::find(const char16_t* text, std::size_t from, std::size_t end) const {
    const std::size_t m = needle_.size();
    if (from > end || end - from < m) return npos;
    const std::size_t stop = end - m + 1;
    switch (forms_) {
        case 1:
            return findFrom<1>(text, from, stop);
        case 2:
            return findFrom<2>(text, from, stop);
        case 3:
            return findFrom<3>(text, from, stop);
        case 4:
            return findFrom<4>(text, from, stop);
        default:
            return findFrom<0>(text, from, stop);
    }
}

bool KeywordSearch::matchesFrom(const char16_t* text, std::size_t skip) const {
    for (std::size_t j = skip; j < needle_.size(); ++j) {
        if (lower_[text[j - skip]] != needle_[j]) return false;
    }
    return true;
}

// Occurrences starting at from up to (not including) stop. A block without a candidate, which is
// nearly every block, costs a few vector instructions per form.
template <std::size_t kForms>
std::size_t KeywordSearch::findFrom(const char16_t* text, std::size_t from,
                                    std::size_t stop) const {
    constexpr std::size_t kBlock = 32;
    // Copies in locals, which the compiler keeps in registers across the loops.
    const std::size_t last = needle_.size() - 1;
    const std::array<char16_t, 4> firstForms = first_;
    const std::array<char16_t, 4> lastForms = last_;
    const char16_t* lower = lower_;
    const char16_t front = needle_.front();
    const char16_t back = needle_.back();
    const auto isCandidate = [&](const char16_t* at) {
        if constexpr (kForms == 0) {
            return (lower[at[0]] == front) & (lower[at[last]] == back);
        } else {
            bool a = false;
            bool b = false;
            for (std::size_t k = 0; k < kForms; ++k) {
                a |= at[0] == firstForms[k];
                b |= at[last] == lastForms[k];
            }
            return a & b;
        }
    };
    std::size_t i = from;
    for (; i + kBlock <= stop; i += kBlock) {
        std::uint16_t any = 0;
        for (std::size_t j = 0; j < kBlock; ++j) {
            any |= static_cast<std::uint16_t>(isCandidate(text + i + j));
        }
        if (any == 0) continue;
        for (std::size_t j = 0; j < kBlock; ++j) {
            if (isCandidate(text + i + j) && matchesFrom(text + i + j, 0)) return i + j;
        }
    }
    for (; i < stop; ++i) {
        if (isCandidate(text + i) && matchesFrom(text + i, 0)) return i;
    }
    return npos;
}

}  // namespace pellomar
