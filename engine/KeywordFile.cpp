// The keyword file: finding and reading KEYWORD_ARRANGE.CSV, and turning its lines into the
// keyword table.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Host.h"
#include "PassSteps.h"
#include "basCsv.h"
#include "clsMorvant.h"

namespace pellomar {

namespace {

// Fields 2 and 3: a whole decimal number, optionally signed, spaces around it allowed.
std::int16_t toInt16(std::u16string_view field, int column, const std::string& where) {
    std::size_t b = 0;
    std::size_t e = field.size();
    while (b < e && (field[b] == kSpace || field[b] == kTab)) ++b;
    while (e > b && (field[e - 1] == kSpace || field[e - 1] == kTab)) --e;
    bool negative = false;
    if (b < e && (field[b] == u'+' || field[b] == u'-')) negative = field[b++] == u'-';
    const std::string shown = "field " + std::to_string(column) + " \"" + shownText(field) + "\"";
    if (b == e) {
        throw MorvantError(ErrorNumber::TypeMismatch,
                           where + ", " + shown + " is not a whole number");
    }
    std::int64_t value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (field[i] < u'0' || field[i] > u'9') {
            throw MorvantError(ErrorNumber::TypeMismatch,
                               where + ", " + shown + " is not a whole number");
        }
        value = std::min<std::int64_t>(value * 10 + (field[i] - u'0'), 1'000'000);
    }
    if (negative) value = -value;
    if (value < INT16_MIN || value > INT16_MAX) {
        throw MorvantError(ErrorNumber::Overflow,
                           where + ", " + shown + " is outside -32768..32767");
    }
    return static_cast<std::int16_t>(value);
}

// The layout the header line asks for. Line 1 is never a row, but a field of it that reads
// layout=... (spaces, quotes and a byte-order mark around it do not count, nor does letter case or
// spaces around the =) chooses the pass; a field naming no layout is an error rather than a
// silent fall back to the classic pass.
LayoutMode headerLayout(std::u16string_view header, const std::filesystem::path& path) {
    std::vector<std::u16string> fields;
    try {
        fields = basCsv::SplitCsv(header);
    } catch (const MorvantError&) {
        return LayoutMode::Classic;  // a header of 32768 fields or more is still only a header
    }
    bool structured = false;
    for (std::u16string field : fields) {
        const auto trimmed = [](char16_t c) { return c == kSpace || c == u'"' || c == u'\uFEFF'; };
        while (!field.empty() && trimmed(field.front())) field.erase(0, 1);
        while (!field.empty() && trimmed(field.back())) field.pop_back();
        const std::size_t equals = field.find(u'=');
        if (equals == std::u16string::npos) continue;
        std::u16string name = field.substr(0, equals);
        std::u16string value = field.substr(equals + 1);
        while (!name.empty() && name.back() == kSpace) name.pop_back();
        while (!value.empty() && value.front() == kSpace) value.erase(0, 1);
        platform::lowerInPlace(name);
        if (name != u"layout") continue;
        std::u16string lowered = value;
        platform::lowerInPlace(lowered);
        if (lowered == u"structured") {
            structured = true;
        } else if (lowered != u"classic") {
            throw MorvantError(ErrorNumber::InvalidProcedureCall,
                               path.string() + " line 1: \"" + shownText(field) +
                                   "\" names no layout; write layout=structured or layout=classic");
        }
    }
    return structured ? LayoutMode::Structured : LayoutMode::Classic;
}

std::string tooManyLines(const std::filesystem::path& path) {
    return path.string() +
           " has more than 32767 lines (the header and an empty last line count too)";
}

}  // namespace

bool clsMorvant::LoadKeywords(KeywordTable& rtblKeywords) {
    std::u16string strText;
    if (!ReadKeywordFile(strText)) return false;
    return ParseKeywords(strText, rtblKeywords);
}

bool clsMorvant::ReadKeywordFile(std::u16string& rstrText) {
    // Finding the file is not guarded: if the program cannot find itself, nothing here can help.
    const std::filesystem::path path = platform::keywordFilePath();
    std::optional<platform::KeywordFile> file;
    try {
        file.emplace(path);
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
    // A failing read after a successful open is not ours to handle: it ends the request.
    const std::string bytes = file->readAll();
    file.reset();
    try {
        rstrText = platform::decodeKeywordText(bytes, path);
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
    return true;
}

bool clsMorvant::ParseKeywords(const std::u16string& vstrText, KeywordTable& rtblKeywords) {
    try {
        const std::filesystem::path path = platform::keywordFilePath();
        std::vector<std::u16string_view> lines;
        if (!vstrText.empty()) {
            std::u16string_view rest = vstrText;
            for (;;) {
                const std::size_t at = rest.find(u"\r\n");
                lines.push_back(rest.substr(0, at));
                if (at == std::u16string_view::npos) break;
                rest.remove_prefix(at + 2);
            }
        }
        rtblKeywords.source.file = path;
        // Lone CRs end no line: such a file is one header line and gives no rows, which the
        // pass then reports; its message says why.
        rtblKeywords.source.loneCrLineEnds =
            lines.size() == 1 && lines.front().find(u'\r') != std::u16string_view::npos;
        const auto highest = static_cast<std::int64_t>(lines.size()) - 1;
        if (highest > INT16_MAX) throw MorvantError(ErrorNumber::Overflow, tooManyLines(path));
        const auto n = static_cast<std::int16_t>(highest);
        if (!lines.empty()) rtblKeywords.layout = headerLayout(lines.front(), path);
        // The line counter is 16-bit and advanced before the bound test, so a file of exactly
        // 32768 lines fails after its last line, as a larger one fails before its first.
        std::int16_t i = 1;
        while (i <= n) {
            std::u16string_view line = lines[static_cast<std::size_t>(i)];
            while (!line.empty() && line.front() == kSpace) line.remove_prefix(1);
            while (!line.empty() && line.back() == kSpace) line.remove_suffix(1);
            if (!line.empty()) {
                const std::string where = path.string() + " line " + std::to_string(i + 1);
                std::vector<std::u16string> fields;
                try {
                    fields = basCsv::SplitCsv(line);
                } catch (const MorvantError& e) {
                    if (e.record().Number != static_cast<std::int32_t>(ErrorNumber::Overflow))
                        throw;
                    throw MorvantError(ErrorNumber::Overflow,
                                       where + " has 32768 fields or more: " + shownText(line));
                }
                if (fields.size() < 3) {
                    throw MorvantError(ErrorNumber::SubscriptOutOfRange,
                                       where + " has fewer than three fields: " + shownText(line));
                }
                typKeyword row;
                row.strWord = fields[0];
                row.intIndent = toInt16(fields[1], 2, where + " (" + shownText(line) + ")");
                row.intLineHead = toInt16(fields[2], 3, where + " (" + shownText(line) + ")");
                rtblKeywords.push_back(std::move(row));
                rtblKeywords.source.lines.push_back(std::int32_t{i} + 1);
                rtblKeywords.source.texts.emplace_back(line);
            }
            if (i == INT16_MAX) throw MorvantError(ErrorNumber::Overflow, tooManyLines(path));
            ++i;
        }
        // Kind 2 means something only to the structured pass; to the classic one it would be a
        // symbol, and «and,2,2» would split «brand» into «br» and «and».
        if (rtblKeywords.layout != LayoutMode::Structured) {
            for (std::size_t r = 0; r < rtblKeywords.size(); ++r) {
                if (rtblKeywords[r].intLineHead != 2) continue;
                throw MorvantError(ErrorNumber::InvalidProcedureCall,
                                   path.string() + " line " +
                                       std::to_string(rtblKeywords.source.lines[r]) + " (" +
                                       shownText(rtblKeywords.source.texts[r]) +
                                       "): a leading word (kind 2) needs layout=structured in "
                                       "line 1");
            }
        }
        return true;
    } catch (...) {
        ShowError(recordFromCurrentException());
        return false;
    }
}

}  // namespace pellomar
