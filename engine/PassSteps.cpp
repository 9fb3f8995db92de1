#include "PassSteps.h"

#include <algorithm>
#include <cstdio>

#include "Checked.h"
#include "Content.h"
#include "Host.h"
#include "TextCodec.h"

namespace pellomar {

std::u16string withSingleCrs(std::u16string_view text) {
    // Built in place, one copy of the text at a time: pasted scripts run to many megabytes.
    std::u16string t(text);
    std::size_t n = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[n++] = t[i];
        if (t[i] == kCr && i + 1 < t.size() && t[i + 1] == kLf) ++i;
    }
    t.resize(n);
    return t;
}

std::int32_t lengthOf(std::u16string_view text) {
    return checkedPosition(static_cast<std::int64_t>(text.size()));
}

std::u16string_view withoutTrailingSpaces(std::u16string_view text) {
    const std::size_t last = text.find_last_not_of(u' ');
    return text.substr(0, last == std::u16string_view::npos ? 0 : last + 1);
}

std::size_t indentSpaces(const KeywordTable& table, std::size_t index, std::int32_t level) {
    constexpr std::int32_t kDeepest = 8191;
    constexpr std::int32_t kShallowest = -8192;
    if (level >= kShallowest && level <= kDeepest) {
        return level > 0 ? std::size_t(level) * kSpacesPerLevel : 0;
    }
    const typKeyword& row = table[index];
    const KeywordSource& source = table.source;
    std::string where;
    if (index < source.lines.size() && index < source.texts.size()) {
        where = source.file.string() + " line " + std::to_string(source.lines[index]) + " (" +
                shownText(source.texts[index]) + ")";
    } else {
        where = "the row \"" + shownText(row.strWord) + "\"";
    }
    throw MorvantError(ErrorNumber::Overflow,
                       where + ": level " + std::to_string(row.intIndent) +
                           " cannot be indented (levels -8191..8191 always work)");
}

namespace {

std::u16string lowered(std::u16string text) {
    platform::lowerInPlace(text);
    return text;
}

bool holdsWords(const typKeyword& row) {
    return row.intLineHead == 1 && !rowIsSkipped(row.strWord);
}

}  // namespace

WordRows::WordRows(const KeywordTable& table) {
    for (const typKeyword& row : table) {
        if (holdsWords(row)) words_.push_back(lowered(row.strWord));
    }
    std::sort(words_.begin(), words_.end(), [](const std::u16string& a, const std::u16string& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
}

std::vector<Container> WordRows::containing(const KeywordTable& table, std::size_t index) const {
    std::vector<Container> found;
    if (!holdsWords(table[index])) return found;
    const std::u16string word = lowered(table[index].strWord);
    // What a delimiter in the text lowers to, which the longer keyword must hold in its place.
    const std::u16string delimiters = lowered(u" \t\r");
    const auto delimiterOrEdge = [&](const std::u16string& in, std::size_t at) {
        return at >= in.size() || delimiters.find(in[at]) != std::u16string::npos;
    };
    for (const std::u16string& longer : words_) {
        if (longer.size() <= word.size()) break;
        for (std::size_t at = longer.find(word); at != std::u16string::npos;
             at = longer.find(word, at + 1)) {
            if ((at == 0 || delimiterOrEdge(longer, at - 1)) &&
                delimiterOrEdge(longer, at + word.size())) {
                found.push_back({longer, at});
            }
        }
    }
    return found;
}

MorvantError emptyTableError(const KeywordSource& source) {
    const std::string file =
        source.file.empty() ? std::string("KEYWORD_ARRANGE.CSV") : source.file.string();
    std::string detail =
        "the keyword table is empty: " + file + " has no rows after its header line";
    if (source.loneCrLineEnds) {
        detail +=
            " (its lines end in a lone CR, which ends no line: all of it is line 1, the header; "
            "save it with LF or CR LF line ends)";
    }
    return MorvantError(ErrorNumber::SubscriptOutOfRange, detail);
}

std::string shownText(std::u16string_view text) {
    constexpr std::size_t kMax = 120;
    const bool cut = text.size() > kMax;
    if (cut) text = text.substr(0, kMax);
    std::u16string shown;
    shown.reserve(text.size());
    for (const char16_t c : text) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control) {
            shown.push_back(c);
        } else if (c == u'\r') {
            shown += u"\\r";
        } else if (c == u'\n') {
            shown += u"\\n";
        } else if (c == u'\t') {
            shown += u"\\t";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            for (const char* p = hex; *p != '\0'; ++p) shown.push_back(static_cast<char16_t>(*p));
        }
    }
    return platform::encodeUtf8(shown) + (cut ? "..." : "");
}

}  // namespace pellomar
