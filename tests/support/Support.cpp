#include "Support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "Content.h"
#include "TextCodec.h"

namespace pellomar::testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp on Windows: create_directory refuses a name that exists, so keep drawing.
    std::random_device random;
    for (int attempt = 0; dir_.empty(); ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("pellomar-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) dir_ = candidate;
        if (attempt > 100) throw std::runtime_error("cannot create a temporary directory");
    }
#else
    std::string pattern = (fs::temp_directory_path() / "pellomar-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

KeywordDir::KeywordDir() : KeywordDir(fs::path()) {}

KeywordDir::KeywordDir(const fs::path& programDirectory)
    : dir_(programDirectory.empty() ? temp_.path() : programDirectory),
      scope_({[this](const ErrorRecord& record) { boxes_.push_back(formatError(record)); }, dir_}) {
}

void KeywordDir::writeBytes(const std::string& bytes) const {
    std::ofstream out(file(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write the keyword file");
}

std::string csvLine(const typKeyword& row) {
    // The splitter finds no closing quote in «""»: an empty word is an empty field.
    const std::string word = row.strWord.empty() ? "" : "\"" + u8(row.strWord) + "\"";
    return word + "," + std::to_string(row.intIndent) + "," + std::to_string(row.intLineHead);
}

void KeywordDir::writeRows(const KeywordTable& rows) const {
    std::string text = rows.layout == LayoutMode::Structured
                           ? "KEYWORD,INDENT,LINEHEAD,layout=structured\r\n"
                           : "KEYWORD,INDENT,LINEHEAD\r\n";
    for (const typKeyword& row : rows) text += csvLine(row) + "\r\n";
    writeBytes(text);
}

std::u16string u16(std::string_view utf8) {
    auto text = platform::decodeUtf8(utf8);
    if (!text) throw std::invalid_argument("test text is not UTF-8");
    return *text;
}

std::string u8(std::u16string_view text) {
    return platform::encodeUtf8(text);
}

std::string visible(std::u16string_view text) {
    std::u16string shown;
    for (char16_t c : text) {
        switch (c) {
            case u'\r':
                shown += u"\\r";
                break;
            case u'\n':
                shown += u"\\n";
                break;
            case u'\t':
                shown += u"\\t";
                break;
            default:
                shown.push_back(c);
        }
    }
    return "\"" + u8(shown) + "\"";
}

std::vector<std::u16string> contentRuns(std::u16string_view crLfText) {
    std::u16string text;
    text.reserve(crLfText.size());
    for (std::size_t i = 0; i < crLfText.size(); ++i) {
        if (crLfText[i] == u'\n' && i > 0 && crLfText[i - 1] == u'\r') continue;
        text.push_back(crLfText[i]);
    }
    const ContentMask mask = markContent(text);
    std::vector<std::u16string> runs;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (mask[i] && (i == 0 || !mask[i - 1])) runs.emplace_back();
        if (mask[i]) runs.back().push_back(text[i]);
    }
    if (!mask.empty() && mask.back()) {
        while (!runs.back().empty() && runs.back().back() == u' ') runs.back().pop_back();
    }
    return runs;
}

std::u16string contentOf(std::u16string_view text) {
    std::u16string all;
    for (const std::u16string& run : contentRuns(text)) all += run;
    return all;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

fs::path sourceDir() {
    const char* dir = std::getenv("PELLOMAR_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path();
}

std::string shippedKeywordFile() {
    return readBytes(sourceDir() / platform::kKeywordFileName);
}

fs::path corpusDir() {
    const fs::path dir = sourceDir().parent_path() / "shared" / "corpus";
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : fs::path();
}

}  // namespace pellomar::testing_support
