// dovlek as a user runs it on a host without a display: standard input in, standard output out,
// the error box on standard error, and the exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Spawn.h"
#include "Support.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::Installed;
using testing_support::Outcome;
using testing_support::repeat;
using testing_support::withoutSpacing;

const std::string kClauses =
    "KEYWORD,INDENT,LINEHEAD\r\nselect,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n\",\",1,0\r\n";

struct Row {
    const char* what;
    std::string input;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;  // {dir} stands for the program's directory
};

// Runs each row through one copy of dovlek beside keywordFile (none when null) and checks what it
// wrote and its status. Nothing of the user's text is lost: a failed run writes nothing (the
// input stays where it was), a successful one changes spacing only.
void expectRuns(const char* keywordFile, std::initializer_list<Row> rows) {
    const Installed dovlek(DOVLEK_PATH);
    if (keywordFile != nullptr) dovlek.writeKeywordFile(keywordFile);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Outcome o = dovlek.run({.input = row.input, .args = row.args});
        EXPECT_EQ(o.status, row.status);
        std::string err = row.err;
        if (const auto at = err.find("{dir}"); at != std::string::npos) {
            err.replace(at, 5, dovlek.dir().string());
        }
        EXPECT_EQ(o.err, err);
        if (row.out.size() < 2000) {
            EXPECT_EQ(o.out, row.out);
        } else {
            EXPECT_TRUE(o.out == row.out) << "output of " << o.out.size() << " bytes differs";
        }
        if (row.status == 0) {
            EXPECT_TRUE(withoutSpacing(o.out) == withoutSpacing(row.input)) << "more than spacing";
        } else {
            EXPECT_TRUE(o.out.empty());
        }
    }
}

TEST(stdio_e2e_test, lays_out_standard_input) {
    using namespace std::string_literals;
    expectRuns(
        kClauses.c_str(),
        {
            {"worked example",
             "select a, b from t where x = 1",
             {},
             0,
             "select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1",
             ""},
            {"LF input", "select a\nfrom t\n", {}, 0, "select\n    a\nfrom\n    t\n", ""},
            {"CR LF and LF alike come out as LF",
             "select a\r\nfrom t\nwhere x",
             {},
             0,
             "select\n    a\nfrom\n    t\nwhere\n    x",
             ""},
            {"lower-case debug is clipboard mode", "select a", {"debug"}, 0, "select\n    a", ""},
            {"empty input", "", {}, 0, "", ""},
            {"only spaces: the end trim leaves nothing", "     ", {}, 0, "", ""},
            {"UTF-8 passes through",
             "select '\xe6\xa4\x9c, \xf0\x9f\x98\x80' from t",
             {},
             0,
             "select\n    '\xe6\xa4\x9c, \xf0\x9f\x98\x80'\nfrom\n    t",
             ""},
            {"NUL bytes", "select a\0b from t\0"s, {}, 0, "select\n    a\0b\nfrom\n    t\0"s, ""},
        });
}

TEST(stdio_e2e_test, failures_write_nothing_and_say_why) {
    // On a host without a display, DEBUG asks for the window although standard input is a file.
    const Row noDisplay = {
        "DEBUG without a display",
        "select a",
        {"/DEBUG", "x"},
        2,
        "",
        "Pellomar: 75:Path/File access error: the test window (DEBUG) needs a display, but "
        "neither DISPLAY nor WAYLAND_DISPLAY is set\n"};
    expectRuns(nullptr, {{"missing keyword file",
                          "select a",
                          {},
                          1,
                          "",
                          "Pellomar: 53:File not found: {dir}/KEYWORD_ARRANGE.CSV\n"}});
    expectRuns("h\r\nselect,one,1\r\n",
               {{"bad row",
                 "select a",
                 {},
                 1,
                 "",
                 "Pellomar: 13:Type mismatch: {dir}/KEYWORD_ARRANGE.CSV line 2 (select,one,1), "
                 "field 2 \"one\" is not a whole number\n"}});
    expectRuns("h\r\n", {{"no rows",
                          "",
                          {},
                          1,
                          "",
                          "Pellomar: 9:Subscript out of range: the keyword table is empty: "
                          "{dir}/KEYWORD_ARRANGE.CSV has no rows after its header line\n"}});
    expectRuns(kClauses.c_str(),
               {
                   {"input that is not UTF-8",
                    "select a\nselect \xff",
                    {},
                    2,
                    "",
                    "Pellomar: 75:Path/File access error: standard input is not UTF-8 text (line "
                    "2, byte 8 of the line); nothing was written\n"},
                   {"an encoded lone surrogate is not UTF-8",
                    "select \xed\xa0\x80 from t",
                    {},
                    2,
                    "",
                    "Pellomar: 75:Path/File access error: standard input is not UTF-8 text (line "
                    "1, byte 8 of the line); nothing was written\n"},
                   noDisplay,
                   {"DEBUG inside a word", "select a", {"XDEBUGX"}, 2, "", noDisplay.err},
               });
}

TEST(stdio_e2e_test, fifty_megabytes) {
    const std::string statement = "select a, b from t where x = 1\n";
    const std::size_t times = 50'000'000 / statement.size();
    expectRuns(
        kClauses.c_str(),
        {{"50 MB",
          repeat(statement, times),
          {},
          0,
          repeat<std::string>("select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1\n", times),
          ""}});
}

TEST(stdio_e2e_test, runs_started_at_the_same_moment) {
    // Each run reads the keyword file on its own and writes only its own output.
    const Installed dovlek(DOVLEK_PATH);
    dovlek.writeKeywordFile(kClauses);
    constexpr int kRuns = 8;
    std::vector<testing_support::Process> runs;
    runs.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        const std::string n = std::to_string(i);
        runs.push_back(dovlek.start({.input = "select a" + n + ", b from t"}, "run" + n));
    }
    for (int i = 0; i < kRuns; ++i) {
        const Outcome o = runs[static_cast<std::size_t>(i)].finish();
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "select\n    a" + std::to_string(i) + ",\n    b\nfrom\n    t");
        EXPECT_EQ(o.err, "");
    }
}

// Standard input that is a regular file is laid out onto standard output even in a desktop
// session, and the clipboard is not asked for: the displays here lead nowhere, so any attempt to
// reach one would fail. A pipe keeps clipboard mode.
TEST(stdio_e2e_test, a_file_on_standard_input_is_filtered_on_a_desktop) {
    struct Case {
        const char* what;
        testing_support::Environment display;
        std::vector<std::string> args;
        bool throughPipe;
        bool filtered;
    };
    const std::pair<std::string, std::string> x11 = {"DISPLAY", ":65000"};
    const std::pair<std::string, std::string> wayland = {"WAYLAND_DISPLAY",
                                                         "pellomar-test-no-such-wayland-display"};
    const Case cases[] = {
        {"X11 session, input from a file", {x11}, {}, false, true},
        {"Wayland session, input from a file", {wayland}, {}, false, true},
        {"both set, input from a file, an argument without DEBUG",
         {x11, wayland},
         {"-"},
         false,
         true},
        {"X11 session, input through a pipe", {x11}, {}, true, false},
    };
    const Installed dovlek(DOVLEK_PATH);
    dovlek.writeKeywordFile(kClauses);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = dovlek.run({.input = "select a from t\n",
                                      .args = c.args,
                                      .env = c.display,
                                      .inputThroughPipe = c.throughPipe});
        if (c.filtered) {
            EXPECT_EQ(o.status, 0);
            EXPECT_EQ(o.out, "select\n    a\nfrom\n    t\n");
            EXPECT_EQ(o.err, "");
        } else {
            // Clipboard mode, which cannot reach the display: it fails and writes nothing.
            EXPECT_NE(o.status, 0);
            EXPECT_EQ(o.out, "");
            EXPECT_NE(o.err, "");
        }
    }
}

// A terminal's two conventions, and only those two argument lists: in a desktop session that
// cannot be reached, with text waiting on a pipe, neither touches the clipboard nor standard
// input, and neither needs a keyword file; any other list keeps clipboard mode.
TEST(stdio_e2e_test, help_and_version_are_exactly_those_arguments) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string outStart;  // empty: nothing on standard output
    };
    const Case cases[] = {
        {"--help", {"--help"}, 0, "Usage: dovlek "},
        {"--version", {"--version"}, 0, "dovlek (Pellomar) " PELLOMAR_VERSION_TEXT "\n"},
        {"--help with another word is clipboard mode", {"--help", "x"}, 2, ""},
        {"-h is no option", {"-h"}, 2, ""},
        {"--version twice is clipboard mode", {"--version", "--version"}, 2, ""},
    };
    const Installed dovlek(DOVLEK_PATH);  // no keyword file beside it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = dovlek.run({.input = "select a from t\n",
                                      .args = c.args,
                                      .env = {{"DISPLAY", ":65000"}},
                                      .inputThroughPipe = true});
        EXPECT_EQ(o.status, c.status);
        if (c.outStart.empty()) {
            EXPECT_EQ(o.out, "");
            EXPECT_NE(o.err, "");  // the display that cannot be reached
        } else {
            EXPECT_EQ(o.out.substr(0, c.outStart.size()), c.outStart);
            EXPECT_EQ(o.err, "");
        }
    }
    const Outcome help = dovlek.run({.args = {"--help"}});
    EXPECT_NE(help.out.find(dovlek.dir().string() + "/KEYWORD_ARRANGE.CSV"), std::string::npos)
        << "the usage names the keyword file's place:\n"
        << help.out;
}

// The keyword file is read in the locale's charset. One TSCII byte can stand for four Tamil
// characters, more than the decoder once made room for; a header the charset cannot decode is
// no row and fails nothing.
TEST(stdio_e2e_test, keyword_file_in_a_charset_that_widens) {
    const Installed dovlek(DOVLEK_PATH);
    const fs::path locales = dovlek.dir() / "locales";
    fs::create_directory(locales);
    const std::string build =
        "localedef -c -i ta_IN -f TSCII " + (locales / "ta_IN.TSCII").string() + " >/dev/null 2>&1";
    if (std::system(build.c_str()) == -1 || !fs::exists(locales / "ta_IN.TSCII")) {
        GTEST_SKIP() << "localedef cannot build ta_IN.TSCII (Debian package locales)";
    }
    // TSCII 0x82 is SRI, four characters: U+0BB8 U+0BCD U+0BB0 U+0BC0.
    const std::string sris =
        repeat<std::string>("\xe0\xae\xb8\xe0\xaf\x8d\xe0\xae\xb0\xe0\xaf\x80", 50);
    dovlek.writeKeywordFile("\xff\xfe header\r\n" + std::string(50, '\x82') + ",1,0\r\n");
    const Outcome o =
        dovlek.run({.input = "x" + sris + "y",
                    .env = {{"LOCPATH", locales.string()}, {"LC_ALL", "ta_IN.TSCII"}}});
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out == "x" + sris + "\n    y") << o.out;
}

TEST(stdio_e2e_test, keyword_file_is_found_beside_the_real_executable) {
    const Installed dovlek(DOVLEK_PATH);
    dovlek.writeKeywordFile(kClauses);
    const testing_support::TempDir elsewhere;  // a bin directory with only a symlink in it
    fs::create_symlink(dovlek.exe(), elsewhere.path() / "dovlek");
    const Outcome o = dovlek.run({.input = "select a", .program = elsewhere.path() / "dovlek"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "select\n    a");
}

TEST(stdio_e2e_test, unreadable_keyword_file_is_permission_denied) {
    const Installed dovlek(DOVLEK_PATH);
    dovlek.writeKeywordFile(kClauses);
    fs::permissions(dovlek.keywordFile(), fs::perms::none);
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        // root reads anything: drop to nobody for this run.
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    const Outcome o = dovlek.run({.input = "select a", .prefix = prefix});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Pellomar: 70:Permission denied: " + dovlek.keywordFile().string() + "\n");
}

}  // namespace
}  // namespace pellomar
