#include "StructuredRows.h"

#include <algorithm>

#include "Content.h"
#include "Host.h"
#include "SqlLexer.h"

namespace pellomar {

namespace {

bool isSpacing(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

// Parentheses and statement ends are the structure the pass reads; a row holding one would take
// it away (blocks make the old «(select» row unnecessary).
bool holdsStructure(std::u16string_view keyword) {
    return keyword.find_first_of(u"()[];") != std::u16string_view::npos;
}

StructuredRow::Role roleOf(std::u16string_view keyword) {
    using Role = StructuredRow::Role;
    static constexpr std::pair<std::u16string_view, Role> kRoles[] = {
        {u"when", Role::CaseWord}, {u"then", Role::CaseWord}, {u"else", Role::CaseWord},
        {u"end", Role::CaseWord},  {u"with", Role::With},     {u"on", Role::On},
        {u"from", Role::From},     {u"update", Role::Update}, {u"set", Role::Set},
        {u"values", Role::Values},
    };
    for (const auto& [word, role] : kRoles) {
        if (keyword == word) return role;
    }
    return Role::None;
}

}  // namespace

StructuredRows::StructuredRows(const KeywordTable& table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        const typKeyword& source = table[i];
        if (rowIsSkipped(source.strWord) || holdsStructure(source.strWord)) continue;
        StructuredRow row;
        for (const char16_t c : source.strWord) {
            if (isSpacing(c)) {
                if (!row.keyword.empty() && row.keyword.back() != u' ') row.keyword.push_back(u' ');
            } else {
                row.keyword.push_back(platform::lowerUnit(c));
            }
        }
        if (!row.keyword.empty() && row.keyword.back() == u' ') row.keyword.pop_back();
        if (row.keyword.empty()) continue;
        row.index = i;
        row.indent = source.intIndent;
        row.kind = source.intLineHead == 1   ? StructuredRow::Kind::Word
                   : source.intLineHead == 2 ? StructuredRow::Kind::Leading
                                             : StructuredRow::Kind::Symbol;
        row.role = roleOf(row.keyword);
        row.startsWithWordUnit = isWordUnit(row.keyword.front());
        deepest_ = std::max<std::int32_t>(deepest_, source.intIndent);
        rows_.push_back(std::move(row));
    }
    std::vector<std::uint32_t> order(rows_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
        return rows_[a].keyword.size() > rows_[b].keyword.size();
    });
    for (const std::uint32_t at : order) {
        const char16_t first = rows_[at].keyword.front();
        if (first < ascii_.size()) {
            ascii_[first].push_back(at);
            continue;
        }
        auto it = std::lower_bound(others_.begin(), others_.end(), first,
                                   [](const auto& entry, char16_t c) { return entry.first < c; });
        if (it == others_.end() || it->first != first) it = others_.insert(it, {first, {}});
        it->second.push_back(at);
    }
}

const std::vector<std::uint32_t>& StructuredRows::startingWith(char16_t first) const {
    if (first < ascii_.size()) return ascii_[first];
    const auto it = std::lower_bound(others_.begin(), others_.end(), first,
                                     [](const auto& entry, char16_t c) { return entry.first < c; });
    return it != others_.end() && it->first == first ? it->second : none_;
}

}  // namespace pellomar
