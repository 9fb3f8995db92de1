#include <gtest/gtest.h>

#include <filesystem>

#include "MorvantTestSeam.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {

void PrintTo(const typKeyword& k, std::ostream* os) {
    *os << testing_support::visible(k.strWord) << "," << k.intIndent << "," << k.intLineHead;
}

namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;

std::string rowsText(const std::string& header, int rows, const std::string& row,
                     bool finalLineEnd) {
    std::string text = header;
    for (int i = 0; i < rows; ++i) text += "\r\n" + row;
    if (finalLineEnd) text += "\r\n";
    return text;
}

struct TableCase {
    const char* what;
    std::string file;
    KeywordTable rows;
};

TEST(keyword_file_test, rows_come_from_the_lines_after_the_header) {
    using namespace std::string_literals;
    const std::string tenMegabytes = testing_support::repeat<std::string>("x", 10'000'000);
    const TableCase cases[] = {
        {"header is never a row", "select,1,1\r\nfrom,1,1", {{u"from", 1, 1}}},
        {"final line end adds nothing",
         "h\r\nselect,1,1\r\nfrom,2,0\r\n",
         {{u"select", 1, 1}, {u"from", 2, 0}}},
        {"blank and space-only lines are skipped",
         "h\r\nselect,1,1\r\n\r\n   \r\nfrom,1,1",
         {{u"select", 1, 1}, {u"from", 1, 1}}},
        {"line trimmed, keyword keeps its inner trailing space",
         "h\r\n  select , 2 , 1  ",
         {{u"select ", 2, 1}}},
        {"quoted comma", "h\r\n\",\",1,0", {{u",", 1, 0}}},
        {"quoted keyword with spaces", "h\r\n\" group by \",1,1", {{u" group by ", 1, 1}}},
        {"fields after the third are ignored", "h\r\nselect,1,1,comment,more", {{u"select", 1, 1}}},
        {"signs, spaces and leading zeros",
         "h\r\na,+3,-1\r\nb, 007 ,\t1\t",
         {{u"a", 3, -1}, {u"b", 7, 1}}},
        {"16-bit limits", "h\r\na,32767,-32768", {{u"a", 32767, -32768}}},
        {"empty keyword loads (the pass skips it)", "h\r\n,1,1", {{u"", 1, 1}}},
        {"LF line ends load line by line",
         "h\nselect,1,1\nfrom,1,1\n",
         {{u"select", 1, 1}, {u"from", 1, 1}}},
        {"mixed line ends", "h\r\nselect,1,1\nfrom,1,1\r\n", {{u"select", 1, 1}, {u"from", 1, 1}}},
        {"header only", "KEYWORD,INDENT,LINEHEAD", {}},
        {"empty file", "", {}},
        {"UTF-8 keyword", "h\r\n\xe6\xa4\x9c\xe8\xa8\xbc,1,1", {{u"\u691c\u8a3c", 1, 1}}},
        {"byte-order mark sits in the header", "\xef\xbb\xbfh\r\nselect,1,1", {{u"select", 1, 1}}},
        {"a byte-order mark before a file without a header still costs its first line",
         "\xef\xbb\xbf\",\",1,0\r\nselect,1,1\r\n",
         {{u"select", 1, 1}}},
        {"a NUL byte is an ordinary character of a keyword",
         "h\r\nse\0lect,1,1"s,
         {{u"se\0lect"s, 1, 1}}},
        {"a keyword of 10 MB",
         "h\r\n\"" + tenMegabytes + "\",1,0",
         {{std::u16string(tenMegabytes.begin(), tenMegabytes.end()), 1, 0}}},
        // The header is never read, so bytes in it that do not decode fail nothing.
        {"Latin-1 header",
         "KEYWORD,NIV\xc9"
         "AU\r\nselect,1,1",
         {{u"select", 1, 1}}},
        {"CP932 header", "\x83\x4c\x81\x5b,\x83\x8c\x83\x78\x83\x8b\nfrom,1,1", {{u"from", 1, 1}}},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.what);
        KeywordDir dir;
        KeywordTable table;
        const std::u16string text = platform::decodeKeywordText(c.file, dir.file());
        EXPECT_TRUE(MorvantTestSeam::ParseKeywords(text, table));
        EXPECT_EQ(table, c.rows);
        EXPECT_TRUE(dir.boxes().empty());
    }
}

struct ErrorCase {
    const char* what;
    std::string file;
    std::string box;  // with {path} for the keyword file's full path
};

std::string withPath(std::string text, const fs::path& path) {
    const std::string key = "{path}";
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
        text.replace(at, key.size(), path.string());
    }
    return text;
}

TEST(keyword_file_test, a_bad_row_fails_the_whole_load_with_its_line) {
    using namespace std::string_literals;
    const std::string tenMegabytes = testing_support::repeat<std::string>("x", 10'000'000);
    std::string fields70000 = "select,1,1";
    for (int i = 0; i < 69'997; ++i) fields70000 += ",f";
    const ErrorCase cases[] = {
        {"two fields after a final comma", "h\r\nselect,1,",
         "9:Subscript out of range: {path} line 2 has fewer than three fields: select,1,"},
        {"commas only", "h\r\nselect,1,1\r\n,,",
         "9:Subscript out of range: {path} line 3 has fewer than three fields: ,,"},
        {"TABs are not blank", "h\r\n\t\t",
         "9:Subscript out of range: {path} line 2 has fewer than three fields: \\t\\t"},
        {"not a number", "h\r\nselect,x,1",
         "13:Type mismatch: {path} line 2 (select,x,1), field 2 \"x\" is not a whole number"},
        {"empty number", "h\r\nselect,,1",
         "13:Type mismatch: {path} line 2 (select,,1), field 2 \"\" is not a whole number"},
        {"fraction", "h\r\nselect,1,1.5",
         "13:Type mismatch: {path} line 2 (select,1,1.5), field 3 \"1.5\" is not a whole number"},
        {"sign alone", "h\r\nselect,-,1",
         "13:Type mismatch: {path} line 2 (select,-,1), field 2 \"-\" is not a whole number"},
        {"lone CR does not separate lines", "h\r\nselect,1,1\rfrom,1,1",
         "13:Type mismatch: {path} line 2 (select,1,1\\rfrom,1,1), field 3 \"1\\rfrom\" is not a "
         "whole number"},
        {"level too large", "h\r\nselect,32768,1",
         "6:Overflow: {path} line 2 (select,32768,1), field 2 \"32768\" is outside -32768..32767"},
        {"kind too small", "h\r\nselect,1,-32769",
         "6:Overflow: {path} line 2 (select,1,-32769), field 3 \"-32769\" is outside "
         "-32768..32767"},
        {"a NUL byte in a number, shown escaped", "h\r\nselect,1\0,1\r\n"s,
         "13:Type mismatch: {path} line 2 (select,1\\x00,1), field 2 \"1\\x00\" is not a whole "
         "number"},
        {"a bad line of 10 MB is shown cut short", "h\r\n" + tenMegabytes,
         "9:Subscript out of range: {path} line 2 has fewer than three fields: " +
             std::string(120, 'x') + "..."},
        {"70,000 fields on a line", "h\r\n" + fields70000,
         "6:Overflow: {path} line 2 has 32768 fields or more: " + fields70000.substr(0, 120) +
             "..."},
        {"very long number", "h\r\nselect,99999999999999999999,1",
         "6:Overflow: {path} line 2 (select,99999999999999999999,1), field 2 "
         "\"99999999999999999999\" is outside -32768..32767"},
        {"first bad row wins", "h\r\nselect,x,1\r\nfrom,1,",
         "13:Type mismatch: {path} line 2 (select,x,1), field 2 \"x\" is not a whole number"},
        {"line numbers count LF-ended lines too", "h\nselect,1,1\n\nfrom,1",
         "9:Subscript out of range: {path} line 4 has fewer than three fields: from,1"},
#ifndef _WIN32  // Windows reads bytes that are not UTF-8 in its ANSI code page (win32 tests)
        {"bytes that are not UTF-8", "h\r\nselect,1,1\r\nfr\xffom,1,1\r\n",
         "75:Path/File access error: {path} line 3 is not valid UTF-8 (byte 3 of the line)"},
        {"encoded surrogate", "h\r\n\xed\xa0\x80,1,1",
         "75:Path/File access error: {path} line 2 is not valid UTF-8 (byte 1 of the line)"},
        {"a sequence cut off by the end of the file", "h\r\nselect,1,1\r\n\xe6\xa4",
         "75:Path/File access error: {path} line 3 is not valid UTF-8 (byte 1 of the line)"},
        {"a bad byte counted in its own line, after long lines",
         "h\r\n" + std::string(300, ' ') + "select,1,1\r\n  wh\xe9re,1,1",
         "75:Path/File access error: {path} line 3 is not valid UTF-8 (byte 5 of the line)"},
#endif
        {"header only: the pass finds no rows", "KEYWORD,INDENT,LINEHEAD\r\n",
         "9:Subscript out of range: the keyword table is empty: {path} has no rows after its "
         "header line"},
        {"no CR LF at all is one header line", "select,1,1",
         "9:Subscript out of range: the keyword table is empty: {path} has no rows after its "
         "header line"},
        {"lone-CR line ends: all rows are on line 1, and the message says so",
         "KEYWORD,INDENT,LINEHEAD\rselect,1,1\rfrom,1,1\r",
         "9:Subscript out of range: the keyword table is empty: {path} has no rows after its "
         "header line (its lines end in a lone CR, which ends no line: all of it is line 1, the "
         "header; save it with LF or CR LF line ends)"},
        {"a lone CR at the end of a header with rows below is no such file", "h\r\r\n",
         "9:Subscript out of range: the keyword table is empty: {path} has no rows after its "
         "header line"},
        {"a header naming no layout", "KEYWORD,INDENT,LINEHEAD,layout=fancy\r\nselect,1,1",
         "5:Invalid procedure call or argument: {path} line 1: \"layout=fancy\" names no layout; "
         "write layout=structured or layout=classic"},
        {"an empty layout", "h,\" Layout = \"\r\nselect,1,1",
         "5:Invalid procedure call or argument: {path} line 1: \"Layout =\" names no layout; "
         "write layout=structured or layout=classic"},
        {"a leading word needs the structured layout", "h\r\nselect,1,1\r\n and , 2 ,2\r\n",
         "5:Invalid procedure call or argument: {path} line 3 (and , 2 ,2): a leading word (kind "
         "2) needs layout=structured in line 1"},
        {"... also with layout=classic", "layout=classic\r\nand,2,2",
         "5:Invalid procedure call or argument: {path} line 2 (and,2,2): a leading word (kind 2) "
         "needs layout=structured in line 1"},
        {"a level that cannot be indented names its row, found when its keyword is",
         "h\r\nselect,1,1\r\n\r\n  from, +9000,1  \r\n",
         "6:Overflow: {path} line 4 (from, +9000,1): level 9000 cannot be indented (levels "
         "-8191..8191 always work)"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        KeywordDir dir;
        dir.writeBytes(c.file);
        EXPECT_EQ(clsMorvant().CArrange(u"select a from t"), u"");
        EXPECT_EQ(dir.boxes(), std::vector<std::string>{withPath(c.box, dir.file())});
    }
}

// Line 1 is never a row, but a field of it can choose the structured layout: as a user or a
// spreadsheet writes it, with spaces, quotes, a byte-order mark or capitals. Anything else is the
// classic layout that every earlier keyword file was written for.
TEST(keyword_file_test, the_header_line_chooses_the_layout) {
    struct Case {
        const char* what;
        std::string header;
        LayoutMode layout;
    };
    const Case cases[] = {
        {"a fourth title", "KEYWORD,INDENT,LINEHEAD,layout=structured", LayoutMode::Structured},
        {"alone", "layout=structured", LayoutMode::Structured},
        {"quoted, capitals, spaces", "a,\"  Layout = STRUCTURED \",b", LayoutMode::Structured},
        {"behind a byte-order mark", "\xEF\xBB\xBFlayout=structured,x", LayoutMode::Structured},
        {"structured wins over classic", "layout=classic,layout=structured",
         LayoutMode::Structured},
        {"classic by name", "KEYWORD,INDENT,LINEHEAD,layout=classic", LayoutMode::Classic},
        {"the old header", "KEYWORD,INDENT,LINEHEAD", LayoutMode::Classic},
        {"no field of its own", "x layout=structured", LayoutMode::Classic},
        {"any header text", "\x01\x02 whatever", LayoutMode::Classic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeywordTable table;
        const KeywordDir dir;
        ASSERT_TRUE(MorvantTestSeam::ParseKeywords(
            platform::lfToCrLf(testing_support::u16(c.header + "\nand,2,1\n")), table))
            << (dir.boxes().empty() ? "" : dir.boxes().front());
        EXPECT_EQ(table.layout, c.layout);
    }
}

TEST(keyword_file_test, line_count_is_sixteen_bit) {
    // Pieces are counted as splitting at CR LF gives them: a final line end adds an empty one.
    struct Case {
        int rows;
        bool finalLineEnd;
        bool loads;
    };
    const Case cases[] = {{32765, true, true},    // 32767 pieces
                          {32766, false, true},   // 32767 pieces
                          {32766, true, false},   // 32768: the counter overflows after the last
                          {32767, false, false},  // 32768
                          {40000, true, false}};  // the highest index itself does not fit
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + (c.finalLineEnd ? " rows + CR LF" : " rows"));
        KeywordDir dir;
        dir.writeBytes(rowsText("h", c.rows, "\",\",1,0", c.finalLineEnd));
        const std::u16string result = clsMorvant().CArrange(u"a,b");
        if (c.loads) {
            EXPECT_EQ(result, u"a,\r\n    b");
            EXPECT_TRUE(dir.boxes().empty());
        } else {
            EXPECT_EQ(result, u"");
            EXPECT_EQ(dir.boxes(),
                      std::vector<std::string>{"6:Overflow: " + dir.file().string() +
                                               " has more than 32767 lines (the header and an "
                                               "empty last line count too)"});
        }
    }
}

TEST(keyword_file_test, file_problems_name_the_path) {
    {
        KeywordDir dir;  // no file written
        EXPECT_EQ(clsMorvant().CArrange(u"select a"), u"");
        EXPECT_EQ(dir.boxes(),
                  std::vector<std::string>{"53:File not found: " + dir.file().string()});
    }
    {
        KeywordDir dir;
        const KeywordDir gone(dir.path() / "no-such-dir");
        EXPECT_EQ(clsMorvant().CArrange(u"select a"), u"");
        EXPECT_EQ(gone.boxes(),
                  std::vector<std::string>{"76:Path not found: " + gone.file().string()});
    }
    {
        KeywordDir dir;
        fs::create_directory(dir.file());
        EXPECT_EQ(clsMorvant().CArrange(u"select a"), u"");
        EXPECT_EQ(dir.boxes(), std::vector<std::string>{"75:Path/File access error: " +
                                                        dir.file().string() + " is a directory"});
    }
}

#ifndef _WIN32  // symbolic links are a POSIX matter here
TEST(keyword_file_test, a_link_is_followed_and_a_dangling_one_says_where_it_points) {
    KeywordDir dir;
    fs::create_symlink(dir.path() / "elsewhere.csv", dir.file());
    EXPECT_EQ(clsMorvant().CArrange(u"select a"), u"");
    dir.writeBytes("h\r\nselect,1,1\r\n");  // through the link
    EXPECT_EQ(clsMorvant().CArrange(u"select a"), u"select\r\n    a");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{"53:File not found: " + dir.file().string() +
                                                    " (a symbolic link to " +
                                                    (dir.path() / "elsewhere.csv").string() +
                                                    ", which does not exist)"});
}
#endif

TEST(keyword_file_test, every_request_reads_the_file_afresh) {
    KeywordDir dir;
    dir.writeBytes("h\r\nselect,1,1\r\n");
    EXPECT_EQ(clsMorvant().CArrange(u"select a from t"), u"select\r\n    a from t");
    dir.writeBytes("h\r\nfrom,1,1\r\n");
    EXPECT_EQ(clsMorvant().CArrange(u"select a from t"), u"select a\r\nfrom\r\n    t");
    fs::remove(dir.file());
    EXPECT_EQ(clsMorvant().CArrange(u"select a from t"), u"");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{"53:File not found: " + dir.file().string()});
}

TEST(keyword_file_test, empty_query_with_a_good_file_is_no_failure) {
    KeywordDir dir;
    dir.writeBytes("h\r\nselect,1,1\r\n");
    EXPECT_EQ(clsMorvant().CArrange(u""), u"");
    EXPECT_TRUE(dir.boxes().empty());
}

}  // namespace
}  // namespace pellomar
