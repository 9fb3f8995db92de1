#pragma once

// What the tests, the fuzz targets and the benchmark share: the program's directory as a test
// sets it up, readable texts, and the files beside the project.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ErrorRecord.h"
#include "Host.h"
#include "typKeyword.h"

namespace pellomar::testing_support {

// A temporary directory, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

// The program's directory as a test sets it up. While it lives, requests look for their keyword
// file in a temporary directory of its own (or in the one given), and their error boxes are
// collected here instead of shown: a platform::RequestScope, as front ends hold around a request.
class KeywordDir {
  public:
    KeywordDir();
    explicit KeywordDir(const std::filesystem::path& programDirectory);
    KeywordDir(const KeywordDir&) = delete;
    KeywordDir& operator=(const KeywordDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    std::filesystem::path file() const { return dir_ / platform::kKeywordFileName; }
    // Writes KEYWORD_ARRANGE.CSV as given, byte for byte.
    void writeBytes(const std::string& bytes) const;
    // Writes a header line (naming the rows' layout) and one line per row, CR LF line ends.
    void writeRows(const KeywordTable& rows) const;
    // «number:description» of every box shown so far, in order.
    const std::vector<std::string>& boxes() const { return boxes_; }

  private:
    TempDir temp_;
    std::filesystem::path dir_;
    std::vector<std::string> boxes_;
    platform::RequestScope scope_;
};

// A keyword file line for a row: the word quoted so that commas and spaces survive. A word with
// a double quote followed by a comma, or with CR LF or LF in it, cannot be written.
std::string csvLine(const typKeyword& row);

// UTF-8 <-> UTF-16 for readable test tables.
std::u16string u16(std::string_view utf8);
std::string u8(std::u16string_view text);
// Shows CR, LF and TAB visibly, for failure messages.
std::string visible(std::u16string_view text);

// The text without the characters a layout may add, remove or change: spaces, TABs, CRs, LFs.
// Whatever else a request lays out must come out exactly as it went in.
template <class Char>
std::basic_string<Char> withoutSpacing(std::basic_string_view<Char> text) {
    std::basic_string<Char> out;
    out.reserve(text.size());
    for (const Char c : text) {
        if (c != Char(' ') && c != Char('\t') && c != Char('\r') && c != Char('\n')) out += c;
    }
    return out;
}
inline std::u16string withoutSpacing(const std::u16string& text) {
    return withoutSpacing(std::u16string_view(text));
}
inline std::string withoutSpacing(const std::string& text) {
    return withoutSpacing(std::string_view(text));
}

// The inside of every literal and comment, in order, of a text with CR LF line breaks, as the
// engine's own rules find them: what no layout may change.
std::vector<std::u16string> contentRuns(std::u16string_view text);
// The same run after run, and without the spaces at its very end, which the end trim takes also
// from a comment that runs to the end.
std::u16string contentOf(std::u16string_view text);

// piece, times times.
template <class Text>
Text repeat(const Text& piece, std::size_t times) {
    Text out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// A whole file's bytes; throws std::runtime_error when it cannot be opened.
std::string readBytes(const std::filesystem::path& path);

// The project's sources (PELLOMAR_SOURCE_DIR, which ctest sets), the shipped keyword file's
// bytes, and the corpus of third-party SQL beside the project, or an empty path when it is absent.
std::filesystem::path sourceDir();
std::string shippedKeywordFile();
std::filesystem::path corpusDir();

}  // namespace pellomar::testing_support
