#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "typKeyword.h"

namespace pellomar {

// A keyword row as the structured pass matches it: lowered, without the spaces around it, and
// with every run of spaces inside it standing for any run of spaces and line breaks, so that
// «group by» is found also where the author wrote «group» and «by» on two lines.
struct StructuredRow {
    enum class Kind : std::uint8_t { Word, Leading, Symbol };
    // Words the pass knows the role of: inside CASE only its own words break, and a few single
    // words do not break where they are part of another phrase (time zone, ON CONFLICT, ...).
    enum class Role : std::uint8_t {
        None,
        CaseWord,  // when, then, else, end
        With,
        On,
        From,
        Update,
        Set,
        Values,
    };

    std::u16string keyword;
    std::size_t index = 0;  // the row's place in the table, for ties and messages
    std::int16_t indent = 0;
    Kind kind = Kind::Symbol;
    Role role = Role::None;
    bool startsWithWordUnit = false;
};

// The rows of a table that the structured pass can use, found by the first code unit of their
// keyword, longest first and, among keywords of one length, in the file's order: the first row
// that matches at a place is the one that wins there.
class StructuredRows {
  public:
    explicit StructuredRows(const KeywordTable& table);

    // The rows whose keyword starts with the lowered code unit `first`, in the order to try.
    const std::vector<std::uint32_t>& startingWith(char16_t first) const;
    const StructuredRow& row(std::uint32_t at) const { return rows_[at]; }
    // The deepest level a row asks for, for bounding the text the pass may write.
    std::int32_t deepestIndent() const { return deepest_; }

  private:
    std::vector<StructuredRow> rows_;
    std::array<std::vector<std::uint32_t>, 128> ascii_;
    std::vector<std::pair<char16_t, std::vector<std::uint32_t>>> others_;  // sorted by unit
    std::vector<std::uint32_t> none_;
    std::int32_t deepest_ = 0;
};

}  // namespace pellomar
