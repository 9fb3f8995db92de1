#include "basCsv.h"

#include <cstdint>

#include "Checked.h"

namespace pellomar::basCsv {

namespace {

// 1-based helpers, so that the loop below reads like the rule it implements.
std::int64_t find1(std::u16string_view line, char16_t c, std::int64_t from) {
    if (from < 1 || from > static_cast<std::int64_t>(line.size())) return 0;
    const auto at = line.find(c, static_cast<std::size_t>(from - 1));
    return at == std::u16string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::u16string mid1(std::u16string_view line, std::int64_t from, std::int64_t count) {
    const auto len = static_cast<std::int64_t>(line.size());
    if (from > len || count <= 0) return {};
    return std::u16string(
        line.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count)));
}

}  // namespace

std::vector<std::u16string> SplitCsv(std::u16string_view vstrLine) {
    std::vector<std::u16string> fields;
    const std::int32_t length = checkedPosition(static_cast<std::int64_t>(vstrLine.size()));
    std::int16_t count = 0;
    std::int32_t pos = 1;
    for (;;) {
        std::int64_t comma = find1(vstrLine, u',', pos);
        if (comma == 0) comma = std::int64_t{length} + 1;
        const bool quoted = pos <= length && vstrLine[static_cast<std::size_t>(pos - 1)] == u'"';
        // The closing quote is looked for two characters after the opening one, not one.
        const std::int64_t close = quoted ? find1(vstrLine, u'"', std::int64_t{pos} + 2) : 0;
        if (close != 0) {
            fields.push_back(mid1(vstrLine, std::int64_t{pos} + 1, close - pos - 1));
            // The character after the closing quote is skipped unseen: it is taken to be the comma.
            pos = checkedPosition(close + 2);
        } else {
            fields.push_back(mid1(vstrLine, pos, comma - pos));
            pos = checkedPosition(comma + 1);
        }
        count = checkedNarrow<std::int16_t>(std::int64_t{count} + 1, "the field count");
        if (pos > length) break;
    }
    return fields;
}

}  // namespace pellomar::basCsv
