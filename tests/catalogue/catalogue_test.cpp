// Hostile inputs, each with the one outcome it must have: the exact error box, or the exact
// layout. Every request goes through the clipboard front end, which proves that nothing of the
// user's text is lost: a failed request leaves the clipboard as it was, a successful one changes
// nothing but spaces, TABs and line breaks.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "Support.h"
#include "basMain.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::BoxCapture;
using testing_support::KeywordDir;
using testing_support::visible;

// The clipboard as the front end sees it, in memory.
class MemoryClipboard final : public platform::Clipboard {
  public:
    explicit MemoryClipboard(std::u16string text) : text_(std::move(text)) {}
    std::optional<std::u16string> text() override { return text_; }
    void clear() override { text_.clear(); }
    void setText(const std::u16string& text) override { text_ = text; }
    const std::u16string& held() const { return text_; }

  private:
    std::u16string text_;
};

// A pass that does not end must fail the row, not hang the suite: past the deadline the whole
// test program stops with the row's name.
class Deadline {
  public:
    Deadline(const char* what, std::chrono::seconds limit)
        : watcher_([this, what, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "%s: did not finish in %lld s\n", what,
                               static_cast<long long>(limit.count()));
                  std::_Exit(1);
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        watcher_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watcher_;
};

std::u16string withoutSpacing(std::u16string_view text) {
    std::u16string out;
    for (const char16_t c : text) {
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') out.push_back(c);
    }
    return out;
}

std::u16string repeat(std::u16string_view piece, std::size_t times) {
    std::u16string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string repeat8(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// In expected boxes {path} stands for the keyword file's full path, {dir} for its directory.
std::string withPlaces(std::string text, const KeywordDir& dir) {
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{path}", dir.file()}, {"{dir}", dir.path()}}) {
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

const std::string kHeader = "KEYWORD,INDENT,LINEHEAD\r\n";
// The worked example's rows: three clauses and the comma.
const std::string kEveryday = kHeader + "select,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n\",\",1,0\r\n";

struct Row {
    const char* what;
    std::string keywordFile;  // its bytes, unless place puts something else there
    std::u16string query;
    std::optional<std::u16string> laidOut;  // the exact result, or
    std::string box;                        // the exact «number:description» ({path} allowed)
    void (*place)(const KeywordDir&) = nullptr;
};

// One request through the clipboard front end, checked against its row.
void expectRow(const Row& row) {
    SCOPED_TRACE(row.what);
    const Deadline deadline(row.what, std::chrono::seconds(300));
    KeywordDir dir;
    if (row.place) {
        row.place(dir);
    } else {
        dir.writeBytes(row.keywordFile);
    }
    BoxCapture boxes;
    MemoryClipboard clipboard(row.query);
    const int status = basMain::ArrangeClipboard(clipboard);
    if (row.laidOut) {
        EXPECT_EQ(status, basMain::kExitDone);
        EXPECT_TRUE(boxes.messages().empty()) << boxes.messages().front();
        if (clipboard.held().size() < 2000) {
            EXPECT_EQ(visible(clipboard.held()), visible(*row.laidOut));
        } else {
            EXPECT_TRUE(clipboard.held() == *row.laidOut)
                << "result of " << clipboard.held().size() << " code units differs";
        }
        EXPECT_TRUE(withoutSpacing(clipboard.held()) == withoutSpacing(row.query))
            << "more than spacing changed";
    } else {
        EXPECT_EQ(status, basMain::kExitReported);
        EXPECT_EQ(boxes.messages(), std::vector<std::string>{withPlaces(row.box, dir)});
        EXPECT_TRUE(clipboard.held() == row.query) << "the clipboard lost the user's text";
    }
}

// Pieces split at CR LF: a file of n lines is a header and n - 1 comma rows, no final CR LF.
std::string fileOfLines(int lines) {
    return "h" + repeat8("\r\n\",\",1,0", static_cast<std::size_t>(lines - 1));
}

const std::string kTooManyLines =
    "6:Overflow: {path} has more than 32767 lines (the header and an empty last line count too)";

TEST(catalogue_test, keyword_file_sizes) {
    const std::string tenMegabytes = repeat8("x", 10'000'000);
    const std::string fields70000 = "select,1,1" + repeat8(",f", 69'997);
    const Row rows[] = {
        {"32,766 lines", fileOfLines(32'766), u"a,b", u"a,\r\n    b", {}},
        {"32,767 lines, the most there can be", fileOfLines(32'767), u"a,b", u"a,\r\n    b", {}},
        {"32,768 lines", fileOfLines(32'768), u"a,b", {}, kTooManyLines},
        {"32,767 lines and a final CR LF are 32,768",
         fileOfLines(32'767) + "\r\n",
         u"a,b",
         {},
         kTooManyLines},
        {"a keyword of 10 MB loads and matches nothing",
         kEveryday + "\"" + tenMegabytes + "\",1,0\r\n",
         u"select a from t",
         u"select\r\n    a\r\nfrom\r\n    t",
         {}},
        {"a bad line of 10 MB is shown cut short",
         kHeader + tenMegabytes,
         u"select a",
         {},
         "9:Subscript out of range: {path} line 2 has fewer than three fields: " +
             std::string(120, 'x') + "..."},
        {"70,000 fields on a line",
         kHeader + fields70000,
         u"select a",
         {},
         "6:Overflow: {path} line 2 has 32768 fields or more: " + fields70000.substr(0, 120) +
             "..."},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(catalogue_test, keyword_file_bytes) {
    using namespace std::string_literals;
    const Row rows[] = {
        {"a NUL byte is an ordinary character of a keyword",
         kHeader + "se\0lect,1,1\r\n"s,
         u"a se\0lect b"s,
         u"a\r\nse\0lect\r\n    b"s,
         {}},
        {"a NUL byte in a number, shown escaped",
         kHeader + "select,1\0,1\r\n"s,
         u"select a",
         {},
         "13:Type mismatch: {path} line 2 (select,1\\x00,1), field 2 \"1\\x00\" is not a whole "
         "number"},
        {"bytes that are not UTF-8 in a row",
         kEveryday + "wh\xc3\x28re,1,1\r\n",
         u"select a",
         {},
         "75:Path/File access error: {path} line 6 is not valid UTF-8 (byte 3 of the line)"},
        {"bytes that are not UTF-8 in the header, which is never read",
         "KEYWORD,NIV\xc9\x41U\r\nselect,1,1\r\n",
         u"select a",
         u"select\r\n    a",
         {}},
        {"a sequence cut off by the end of the file",
         kEveryday + "\xe6\xa4",
         u"select a",
         {},
         "75:Path/File access error: {path} line 6 is not valid UTF-8 (byte 1 of the line)"},
        // The byte-order mark becomes U+FEFF at the start of the header line, which is never
        // read as a row: it changes nothing.
        {"a UTF-8 byte-order mark",
         "\xef\xbb\xbf" + kEveryday,
         u"select a, b from t",
         u"select\r\n    a,\r\n    b\r\nfrom\r\n    t",
         {}},
        {"a byte-order mark before a file without a header still costs its first line",
         "\xef\xbb\xbf\",\",1,0\r\nselect,1,1\r\n",
         u"select a, b",
         u"select\r\n    a, b",
         {}},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(catalogue_test, keyword_levels) {
    const std::u16string spaces8190(32'760, u' ');
    const std::u16string spaces8191(32'764, u' ');
    const Row rows[] = {
        {"level 8191, the deepest",
         kHeader + "\",\",8191,0\r\n",
         u"a,b",
         u"a" + spaces8190 + u",\r\n" + spaces8191 + u"b",
         {}},
        {"level 8192",
         kHeader + "\",\",8192,0\r\n",
         u"a,b",
         {},
         "6:Overflow: {path} line 2 (\",\",8192,0): level 8192 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"level -32768: the keyword's own level is one less",
         kHeader + "\",\",-32768,0\r\n",
         u"a,b",
         {},
         "6:Overflow: {path} line 2 (\",\",-32768,0): level -32768 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"level -8193",
         kHeader + "\",\",-8193,0\r\n",
         u"a,b",
         {},
         "6:Overflow: {path} line 2 (\",\",-8193,0): level -8193 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"level -8191: no indentation at all",
         kHeader + "\",\",-8191,0\r\n",
         u"a,b",
         u"a,\r\nb",
         {}},
        {"a level that is never used fails nothing",
         kEveryday + "\";\",8192,0\r\n",
         u"select a",
         u"select\r\n    a",
         {}},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(catalogue_test, keyword_file_places) {
    const Row rows[] = {
        {"a directory in the file's place",
         "",
         u"select a",
         {},
         "75:Path/File access error: {path} is a directory",
         [](const KeywordDir& dir) { fs::create_directory(dir.file()); }},
        {"a dangling symbolic link",
         "",
         u"select a",
         {},
         "53:File not found: {path} (a symbolic link to {dir}/moved-away.csv, which does not "
         "exist)",
         [](const KeywordDir& dir) {
             fs::create_symlink(dir.path() / "moved-away.csv", dir.file());
         }},
        {"a symbolic link to a good file",
         "",
         u"select a",
         u"select\r\n    a",
         {},
         [](const KeywordDir& dir) {
             std::ofstream(dir.path() / "elsewhere.csv", std::ios::binary) << kEveryday;
             fs::create_symlink(dir.path() / "elsewhere.csv", dir.file());
         }},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(catalogue_test, a_file_that_vanishes_between_requests) {
    KeywordDir dir;
    dir.writeBytes(kEveryday);
    BoxCapture boxes;
    MemoryClipboard first(u"select a from t");
    EXPECT_EQ(basMain::ArrangeClipboard(first), basMain::kExitDone);
    EXPECT_EQ(first.held(), u"select\r\n    a\r\nfrom\r\n    t");
    fs::remove(dir.file());
    MemoryClipboard second(u"select b from u");
    EXPECT_EQ(basMain::ArrangeClipboard(second), basMain::kExitReported);
    EXPECT_EQ(second.held(), u"select b from u");
    EXPECT_EQ(boxes.messages(),
              std::vector<std::string>{"53:File not found: " + dir.file().string()});
    // Back again, it is read afresh.
    dir.writeBytes(kEveryday);
    MemoryClipboard third(u"where c");
    EXPECT_EQ(basMain::ArrangeClipboard(third), basMain::kExitDone);
    EXPECT_EQ(third.held(), u"where\r\n    c");
}

TEST(catalogue_test, queries) {
    using namespace std::string_literals;
    const Row rows[] = {
        {"NUL bytes are ordinary characters",
         kEveryday,
         u"select a\0b, c from t\0"s,
         u"select\r\n    a\0b,\r\n    c\r\nfrom\r\n    t\0"s,
         {}},
        {"astral characters count as two code units",
         kEveryday,
         u"select \U0001F600, \U0001D11E from t",
         u"select\r\n    \U0001F600,\r\n    \U0001D11E\r\nfrom\r\n    t",
         {}},
        {"lone surrogates pass through untouched",
         kEveryday,
         u"select \xD800, b\xDC00 from \xDBFF"s,
         u"select\r\n    \xD800,\r\n    b\xDC00\r\nfrom\r\n    \xDBFF"s,
         {}},
        {"an astral keyword",
         kHeader + "\xf0\x9f\x98\x80,1,0\r\n",
         u"a\U0001F600b",
         u"a\U0001F600\r\n    b",
         {}},
        {"only spaces: the end trim leaves nothing", kEveryday, u"          ", u"", {}},
        {"only spaces and line breaks", kEveryday, u"  \r\n  \r\n", u"  \r\n  \r\n", {}},
        {"the empty text", kEveryday, u"", u"", {}},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(catalogue_test, many_commas_on_one_line) {
    const Row row{"100,000 commas",
                  kHeader + "\",\",1,0\r\n",
                  repeat(u",", 100'000),
                  repeat(u",\r\n", 100'000),
                  {}};
    expectRow(row);
}

// The result would pass the 32-bit position limit: 100,000 keyword lines each indented by
// 32,000 spaces. The error must come before that memory is spent.
TEST(catalogue_test, deep_level_against_many_commas_overflows_early) {
    const Row row{"level 8000 against 100,000 commas",
                  kHeader + "\",\",8000,0\r\n",
                  repeat(u",", 100'000),
                  {},
                  "6:Overflow: the text would be longer than 2147483647 characters"};
    expectRow(row);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1'500'000) << "peak resident set in KiB";
}

TEST(catalogue_test, fifty_megabyte_query) {
    const std::u16string statement = u"select a, b from t where x = 1\r\n";
    const std::u16string laidOut =
        u"select\r\n    a,\r\n    b\r\nfrom\r\n    t\r\nwhere\r\n    x = 1\r\n";
    const std::size_t times = 50'000'000 / statement.size();
    const Row row{
        "50 MB of statements", kEveryday, repeat(statement, times), repeat(laidOut, times), {}};
    expectRow(row);
}

// Rows for the characters that open and close comments must not split those pairs: the rest
// of the comment would become live SQL.
TEST(catalogue_test, symbol_rows_leave_comment_delimiters_whole) {
    const Row rows[] = {
        {"a minus row and a line comment",
         kHeader + "-,1,0\r\n",
         u"a - b --x, y\r\nc",
         u"a-\r\n    b --x, y\r\nc",
         {}},
        {"a slash row and a block comment",
         kHeader + "/,1,0\r\n",
         u"a/b /*x*/ c",
         u"a/\r\n    b /*x*/ c",
         {}},
        {"a star row and an empty block comment",
         kHeader + "*,1,0\r\n",
         u"a*b /**/ c",
         u"a*\r\n    b /**/ c",
         {}},
        {"a comma right after a comment still breaks",
         kHeader + "\",\",1,0\r\n",
         u"a/*x*/,b",
         u"a/*x*/,\r\n    b",
         {}},
    };
    for (const Row& row : rows) expectRow(row);
}

// An empty literal has no inside to mark, so a row for the quote character itself would split
// «''» and change the literal's value: rows holding a quote are skipped.
TEST(catalogue_test, a_quote_row_leaves_an_empty_literal_whole) {
    const Row rows[] = {
        {"single quotes", kHeader + "',1,0\r\n", u"a''b 'x'", u"a''b 'x'", {}},
        {"double quotes", kHeader + "\"\"\",1,0\r\n", u"a\"\"b", u"a\"\"b", {}},
    };
    for (const Row& row : rows) expectRow(row);
}

// Under the literal rules these rows would never end the pass: an empty keyword matches at
// every position, and one of spaces (or a CR and spaces) at level 2 finds the indentation its
// own splice inserted. They are skipped.
TEST(catalogue_test, rows_that_could_not_end_the_pass_are_skipped) {
    const std::string blank = "\"\",1,1\r\n\"\",2,0\r\n\" \",2,1\r\n\"  \",3,0\r\n\"\r \",2,0\r\n";
    const Row rows[] = {
        {"blank rows alone change nothing but the end",
         kHeader + blank,
         u"a  b\r\n  c ",
         u"a  b\r\n  c",
         {}},
        {"blank rows among others",
         kHeader + blank + "select,1,1\r\n" + blank,
         u"a  b select  c",
         u"a  b\r\nselect\r\n    c",
         {}},
        {"a keyword found again in its own indentation",
         kHeader + "select,3,1\r\n",
         u"a select b",
         u"a\r\n        select\r\n            b",
         {}},
    };
    for (const Row& row : rows) {
        const auto start = std::chrono::steady_clock::now();
        expectRow(row);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << row.what;
    }
}

}  // namespace
}  // namespace pellomar
