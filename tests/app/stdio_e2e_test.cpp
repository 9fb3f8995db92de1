// dovlek as a user runs it on a host without a display: standard input in, standard output out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "Support.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Variables set for a run, by name; an empty value unsets one. DISPLAY and WAYLAND_DISPLAY are
// unset unless given.
using Environment = std::vector<std::pair<std::string, std::string>>;

// A copy of dovlek in its own directory, beside the keyword file it is to read.
class Installed {
  public:
    Installed() {
        fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::copy_file(DOVLEK_PATH, exe());
    }
    fs::path exe() const { return dir_.path() / "dovlek"; }
    const testing_support::KeywordDir& dir() const { return dir_; }

    // Runs argv (argv[0] defaults to this copy) with no display, input on standard input.
    Outcome run(const std::string& input, const std::vector<std::string>& args = {},
                std::vector<std::string> prefix = {}, const fs::path& program = {}) const {
        return spawn(input, args, std::move(prefix), program, {}, false);
    }

    // Runs this copy with env set (a desktop session whose display cannot be reached, say), the
    // input from a file or through a pipe.
    Outcome runWith(const std::string& input, const Environment& env, bool throughPipe,
                    const std::vector<std::string>& args = {}) const {
        return spawn(input, args, {}, {}, env, throughPipe);
    }

  private:
    Outcome spawn(const std::string& input, const std::vector<std::string>& args,
                  std::vector<std::string> prefix, const fs::path& program, const Environment& env,
                  bool throughPipe) const {
        const fs::path in = dir_.path() / "in.txt", out = dir_.path() / "out.txt",
                       err = dir_.path() / "err.txt";
        std::ofstream(in, std::ios::binary) << input;
        std::vector<std::string> argv = std::move(prefix);
        argv.push_back((program.empty() ? exe() : program).string());
        argv.insert(argv.end(), args.begin(), args.end());
        // Through a pipe, the parent writes the input after the child has started.
        std::array<int, 2> pipeFds{-1, -1};
        if (throughPipe && ::pipe(pipeFds.data()) != 0) return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fdIn = throughPipe ? pipeFds[0] : ::open(in.c_str(), O_RDONLY);
            const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(fdIn, 0);
            ::dup2(fdOut, 1);
            ::dup2(fdErr, 2);
            if (throughPipe) ::close(pipeFds[1]);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            for (const auto& [name, value] : env) {
                if (value.empty()) {
                    ::unsetenv(name.c_str());
                } else {
                    ::setenv(name.c_str(), value.c_str(), 1);
                }
            }
            std::vector<char*> cargv;
            cargv.reserve(argv.size() + 1);
            for (auto& a : argv) cargv.push_back(a.data());
            cargv.push_back(nullptr);
            ::execvp(cargv[0], cargv.data());
            ::_exit(127);
        }
        if (throughPipe) {
            ::close(pipeFds[0]);
            // The child may end without reading (it takes the clipboard instead).
            const auto previous = ::signal(SIGPIPE, SIG_IGN);
            (void)!::write(pipeFds[1], input.data(), input.size());
            ::close(pipeFds[1]);
            ::signal(SIGPIPE, previous);
        }
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        Outcome o;
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        o.out = readBytes(out);
        o.err = readBytes(err);
        return o;
    }

    testing_support::KeywordDir dir_;
};

const char* kClauses =
    "KEYWORD,INDENT,LINEHEAD\r\nselect,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n\",\",1,0\r\n";

TEST(stdio_e2e_test, lays_out_standard_input) {
    struct Case {
        const char* what;
        std::string input;
        std::vector<std::string> args;
        std::string output;
    };
    const Case cases[] = {
        {"worked example",
         "select a, b from t where x = 1",
         {},
         "select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1"},
        {"LF input", "select a\nfrom t\n", {}, "select\n    a\nfrom\n    t\n"},
        {"CR LF input comes out with LF", "select a\r\nfrom t", {}, "select\n    a\nfrom\n    t"},
        {"lower-case debug is clipboard mode", "select a", {"debug"}, "select\n    a"},
        {"empty input", "", {}, ""},
        {"UTF-8 passes through",
         "select '\xe6\xa4\x9c, \xf0\x9f\x98\x80' from t",
         {},
         "select\n    '\xe6\xa4\x9c, \xf0\x9f\x98\x80'\nfrom\n    t"},
    };
    Installed dovlek;
    dovlek.dir().writeBytes(kClauses);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = dovlek.run(c.input, c.args);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, c.output);
        EXPECT_EQ(o.err, "");
    }
}

TEST(stdio_e2e_test, failures_write_nothing_and_say_why) {
    struct Case {
        const char* what;
        const char* keywordFile;  // nullptr: none
        std::string input;
        std::vector<std::string> args;
        int status;
        std::string err;  // {dir} stands for the program's directory
    };
    const Case cases[] = {
        {"missing keyword file",
         nullptr,
         "select a",
         {},
         1,
         "Pellomar: 53:File not found: {dir}/KEYWORD_ARRANGE.CSV\n"},
        {"bad row",
         "h\r\nselect,one,1\r\n",
         "select a",
         {},
         1,
         "Pellomar: 13:Type mismatch: {dir}/KEYWORD_ARRANGE.CSV line 2 (select,one,1), field 2 "
         "\"one\" is not a whole number\n"},
        {"no rows",
         "h\r\n",
         "",
         {},
         1,
         "Pellomar: 9:Subscript out of range: the keyword table is empty: "
         "{dir}/KEYWORD_ARRANGE.CSV "
         "has no rows after its header line\n"},
        {"input that is not UTF-8",
         kClauses,
         "select a\nselect \xff",
         {},
         2,
         "Pellomar: 75:Path/File access error: standard input is not UTF-8 text (line 2, byte 8 "
         "of the line); nothing was written\n"},
        {"DEBUG without a display",
         kClauses,
         "select a",
         {"/DEBUG", "x"},
         2,
         "Pellomar: 75:Path/File access error: the test window (DEBUG) needs a display, but "
         "neither DISPLAY nor WAYLAND_DISPLAY is set\n"},
        {"DEBUG inside a word",
         kClauses,
         "select a",
         {"XDEBUGX"},
         2,
         "Pellomar: 75:Path/File access error: the test window (DEBUG) needs a display, but "
         "neither DISPLAY nor WAYLAND_DISPLAY is set\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed dovlek;
        if (c.keywordFile) dovlek.dir().writeBytes(c.keywordFile);
        const Outcome o = dovlek.run(c.input, c.args);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out, "");
        std::string err = c.err;
        if (const auto at = err.find("{dir}"); at != std::string::npos) {
            err.replace(at, 5, dovlek.dir().path().string());
        }
        EXPECT_EQ(o.err, err);
    }
}

// Standard input that is a regular file is laid out onto standard output even in a desktop
// session, and the clipboard is not asked for: the displays here lead nowhere, so any attempt to
// reach one would fail. A pipe keeps clipboard mode.
TEST(stdio_e2e_test, a_file_on_standard_input_is_filtered_on_a_desktop) {
    struct Case {
        const char* what;
        Environment display;
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
    Installed dovlek;
    dovlek.dir().writeBytes(kClauses);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = dovlek.runWith("select a from t\n", c.display, c.throughPipe, c.args);
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

// On a host without a display, DEBUG asks for the window whatever standard input is.
TEST(stdio_e2e_test, debug_with_a_file_on_standard_input_still_wants_the_window) {
    Installed dovlek;
    dovlek.dir().writeBytes(kClauses);
    const Outcome o = dovlek.run("select a", {"DEBUG"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              "Pellomar: 75:Path/File access error: the test window (DEBUG) needs a display, but "
              "neither DISPLAY nor WAYLAND_DISPLAY is set\n");
}

// The keyword file is read in the locale's charset. One TSCII byte can stand for four Tamil
// characters, more than the decoder once made room for; a header the charset cannot decode is
// no row and fails nothing.
TEST(stdio_e2e_test, keyword_file_in_a_charset_that_widens) {
    Installed dovlek;
    const fs::path locales = dovlek.dir().path() / "locales";
    fs::create_directory(locales);
    const std::string build =
        "localedef -c -i ta_IN -f TSCII " + (locales / "ta_IN.TSCII").string() + " >/dev/null 2>&1";
    if (std::system(build.c_str()) == -1 || !fs::exists(locales / "ta_IN.TSCII")) {
        GTEST_SKIP() << "localedef cannot build ta_IN.TSCII (Debian package locales)";
    }
    // TSCII 0x82 is SRI, four characters: U+0BB8 U+0BCD U+0BB0 U+0BC0.
    const std::string sri = "\xe0\xae\xb8\xe0\xaf\x8d\xe0\xae\xb0\xe0\xaf\x80";
    std::string sris;
    for (int i = 0; i < 50; ++i) sris += sri;
    dovlek.dir().writeBytes("\xff\xfe header\r\n" + std::string(50, '\x82') + ",1,0\r\n");
    const Outcome o = dovlek.runWith(
        "x" + sris + "y", {{"LOCPATH", locales.string()}, {"LC_ALL", "ta_IN.TSCII"}}, false);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out == "x" + sris + "\n    y") << o.out;
}

TEST(stdio_e2e_test, keyword_file_is_found_beside_the_real_executable) {
    Installed dovlek;
    dovlek.dir().writeBytes(kClauses);
    testing_support::KeywordDir elsewhere;  // a bin directory with only a symlink in it
    fs::create_symlink(dovlek.exe(), elsewhere.path() / "dovlek");
    const Outcome o = dovlek.run("select a", {}, {}, elsewhere.path() / "dovlek");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "select\n    a");
}

TEST(stdio_e2e_test, unreadable_keyword_file_is_permission_denied) {
    Installed dovlek;
    dovlek.dir().writeBytes(kClauses);
    fs::permissions(dovlek.dir().file(), fs::perms::none);
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        // root reads anything: drop to nobody for this run.
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    const Outcome o = dovlek.run("select a", {}, prefix);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Pellomar: 70:Permission denied: " + dovlek.dir().file().string() + "\n");
}

}  // namespace
}  // namespace pellomar
