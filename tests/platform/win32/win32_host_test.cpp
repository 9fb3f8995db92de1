// The Win32 host services that the engine sees: the command line, the program's directory, the
// keyword file's bytes and their decoding, and lower-casing. Runs under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Host.h"
#include "Support.h"
#include "Win32CommandLine.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;
using testing_support::u16;
using testing_support::visible;

TEST(win32_command_line, argument_text_follows_the_program_name) {
    struct Case {
        std::u16string line, arguments;
    };
    const Case cases[] = {
        {u"dovlek.exe", u""},
        {u"dovlek.exe DEBUG", u"DEBUG"},
        {u"dovlek.exe   \t/DEBUG x  ", u"/DEBUG x  "},  // blanks after the name only
        {uR"("C:\Program Files\Pellomar\dovlek.exe" /DEBUG x)", u"/DEBUG x"},
        {uR"("C:\Program Files\Pellomar\dovlek.exe")", u""},
        {uR"(C:\Pellomar\dovlek.exe "a b" debug)", uR"("a b" debug)"},
        {uR"("C:\x y\dovlek.exe"DEBUG)", u""},  // still the name, as the C runtime reads it
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(visible(c.line));
        EXPECT_EQ(visible(platform::argumentText(c.line)), visible(c.arguments));
    }
}

TEST(win32_host, keyword_file_is_beside_the_executable) {
    const fs::path dir = platform::executableDirectory();
    EXPECT_TRUE(fs::exists(dir / "win32_host_tests.exe")) << dir.string();
    EXPECT_EQ(platform::keywordFilePath(), dir / "KEYWORD_ARRANGE.CSV");
    // The separator is the host's: a backslash before the name.
    const std::wstring shown = platform::keywordFilePath().native();
    EXPECT_EQ(shown.substr(shown.size() - 20), L"\\KEYWORD_ARRANGE.CSV");
}

TEST(win32_host, a_file_another_program_holds_open) {
    KeywordDir dir;
    dir.writeBytes("h\r\nselect,1,1\r\n");
    {
        // An editor that keeps the file open for writing, sharing it for reading: read as usual.
        HANDLE editor = CreateFileW(dir.file().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(editor, INVALID_HANDLE_VALUE);
        EXPECT_EQ(clsMorvant().CArrange(u"a select b"), u"a\r\nselect\r\n    b");
        CloseHandle(editor);
    }
    EXPECT_TRUE(dir.boxes().empty());
    {
        // A program that lets no one else in.
        HANDLE locker = CreateFileW(dir.file().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(locker, INVALID_HANDLE_VALUE);
        EXPECT_EQ(clsMorvant().CArrange(u"a select b"), u"");
        CloseHandle(locker);
    }
    EXPECT_EQ(dir.boxes(),
              std::vector<std::string>{"70:Permission denied: " + dir.file().string() +
                                       " (another program has it open and lets no one read it)"});
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::string text;   // UTF-8 of the expected text, when it decodes
    std::string error;  // otherwise «number:description», {path} for the file's path
};

std::string withPath(std::string text, const fs::path& path) {
    const std::string key = "{path}";
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
        text.replace(at, key.size(), path.string());
    }
    return text;
}

void expectDecoding(const DecodeCase& c) {
    SCOPED_TRACE(c.what);
    const fs::path path = fs::path(L"C:\\Pellomar") / platform::kKeywordFileName;
    try {
        const std::u16string text = platform::decodeKeywordText(c.bytes, path);
        EXPECT_EQ(visible(text), visible(u16(c.text)));
        EXPECT_EQ(c.error, "");
    } catch (const MorvantError& e) {
        EXPECT_EQ(formatError(e.record()), withPath(c.error, path));
    }
}

// Under the code page every Western Windows uses (Wine's default for a UTF-8 or C locale).
TEST(win32_decoding, utf8_first_then_the_ansi_code_page) {
    if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
    const DecodeCase cases[] = {
        {"UTF-8 without a mark", "h\r\n\xc3\xa9t\xc3\xa9,1,1", "h\r\n\xc3\xa9t\xc3\xa9,1,1", ""},
        {"UTF-8 with a mark keeps it in the header", "\xef\xbb\xbfh\r\nx,1,1",
         "\xef\xbb\xbfh\r\nx,1,1", ""},
        {"not UTF-8: the ANSI code page", "h\r\ncaf\xe9,1,1", "h\r\ncaf\xc3\xa9,1,1", ""},
        {"LF line ends load line by line", "h\nselect,1,1\n", "h\r\nselect,1,1\r\n", ""},
        {"a mark, then bytes that are not UTF-8", "\xef\xbb\xbfh\r\nx,1,1\r\ncaf\xe9,1,1", "",
         "75:Path/File access error: {path} line 3 is not valid UTF-8 (byte 4)"},
    };
    for (const DecodeCase& c : cases) expectDecoding(c);
}

// Run with LANG=ja_JP.UTF-8, under which Wine's ANSI code page is 932 (Shift-JIS).
TEST(win32_japanese_code_page, shift_jis_and_utf8_keyword_files) {
    if (GetACP() != 932) GTEST_SKIP() << "code page " << GetACP() << ", not 932";
    const DecodeCase cases[] = {
        {"Shift-JIS keyword", "h\r\n\x8c\x9f\x8f\xd8,1,1", "h\r\n\xe6\xa4\x9c\xe8\xa8\xbc,1,1", ""},
        {"the same keyword in UTF-8", "h\r\n\xe6\xa4\x9c\xe8\xa8\xbc,1,1",
         "h\r\n\xe6\xa4\x9c\xe8\xa8\xbc,1,1", ""},
        {"half-width katakana", "h\r\n\xc3\xbd\xc4,1,1",
         "h\r\n\xef\xbe\x83\xef\xbd\xbd\xef\xbe\x84,1,1", ""},
        {"a lead byte without its trail byte", "h\r\nx,1,1\nab\x81\x20,1,1", "",
         "75:Path/File access error: {path} line 3 is not valid code page 932 (byte 3)"},
    };
    for (const DecodeCase& c : cases) expectDecoding(c);
    // The whole way: the file read from disk and a Japanese keyword found in the query.
    KeywordDir dir;
    dir.writeBytes("KEYWORD,INDENT,LINEHEAD\r\n\x8c\x9f\x8f\xd8,1,1\r\n");
    EXPECT_EQ(clsMorvant().CArrange(u16("a \xe6\xa4\x9c\xe8\xa8\xbc b")),
              u16("a\r\n\xe6\xa4\x9c\xe8\xa8\xbc\r\n    b"));
    EXPECT_TRUE(dir.boxes().empty());
}

TEST(win32_lower_case, one_code_unit_to_one_by_the_user_locale) {
    struct Case {
        char16_t in, out;
    };
    const Case cases[] = {
        {u'A', u'a'},           {u'Z', u'z'}, {u'a', u'a'}, {u'\u00C4', u'\u00E4'},  // Ä
        {u'\u0391', u'\u03B1'},                                                      // Greek Alpha
        {u'\uFF21', u'\uFF41'},                                                      // full-width A
        {u'\u691C', u'\u691C'},  // 検 has no case
        {u'\xD800', u'\xD800'},  // surrogates are never touched
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.in));
        EXPECT_EQ(static_cast<int>(platform::lowerUnit(c.in)), static_cast<int>(c.out));
    }
    // No code unit lowers into a surrogate, so positions hold in both texts.
    const char16_t* table = platform::lowerTable();
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
        const bool surrogate = table[u] >= 0xD800 && table[u] <= 0xDFFF;
        if (surrogate) {
            ASSERT_EQ(table[u], u);
        }
    }
}

}  // namespace
}  // namespace pellomar
