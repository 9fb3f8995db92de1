#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ErrorRecord.h"
#include "Host.h"
#include "clsMorvant.h"
#include "typKeyword.h"

namespace pellomar {

// Reaches the formatter's private steps, so that each rule can be pinned where it lives.
struct MorvantTestPeer {
    clsMorvant morvant;
    MarkedText NormalizeText(std::u16string_view t) { return morvant.NormalizeText(t); }
    std::u16string RestoreCrLf(std::u16string_view t) { return morvant.RestoreCrLf(t); }
    bool IsDelimiter(std::u16string_view t) { return morvant.IsDelimiter(t); }
    std::u16string StripLeadingCr(const std::u16string& t) {
        return std::u16string(morvant.StripLeadingCr(t));
    }
    std::u16string Indent(std::int16_t level, std::u16string_view t) {
        return morvant.Indent(level, t);
    }
    bool ParseKeywords(const std::u16string& text, KeywordTable& table) {
        return morvant.ParseKeywords(text, table);
    }
    bool ArrangeText(const std::u16string& query, const KeywordTable& table,
                     std::u16string& result) {
        return morvant.ArrangeText(query, table, result);
    }
};

namespace testing_support {

// A temporary directory that stands in for the program's directory while it lives.
class KeywordDir {
  public:
    KeywordDir();
    ~KeywordDir();
    KeywordDir(const KeywordDir&) = delete;
    KeywordDir& operator=(const KeywordDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    std::filesystem::path file() const { return dir_ / platform::kKeywordFileName; }
    // Writes KEYWORD_ARRANGE.CSV as given, byte for byte.
    void writeBytes(const std::string& bytes) const;
    // Writes a header line and one line per row, CR LF line ends.
    void writeRows(const KeywordTable& rows) const;

  private:
    std::filesystem::path dir_;
};

// Collects the error boxes shown while it lives, instead of printing them.
class BoxCapture {
  public:
    BoxCapture();
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;
    // «number:description» of every box, in order.
    const std::vector<std::string>& messages() const { return messages_; }

  private:
    std::vector<std::string> messages_;
    platform::ErrorBox previous_;
};

// A keyword file line for a row: the word quoted so that commas and spaces survive.
std::string csvLine(const typKeyword& row);

// UTF-8 <-> UTF-16 for readable test tables.
std::u16string u16(std::string_view utf8);
std::string u8(std::u16string_view text);
// Shows CR, LF and TAB visibly, for failure messages.
std::string visible(std::u16string_view text);

// A whole file's bytes; throws std::runtime_error when it cannot be opened.
std::string readBytes(const std::filesystem::path& path);

// The corpus of third-party SQL beside the project, or an empty path when it is absent.
std::filesystem::path corpusDir();
std::filesystem::path sourceDir();

}  // namespace testing_support
}  // namespace pellomar
