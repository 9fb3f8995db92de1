// dovlek as a user runs it on a host without a display: standard input in, standard output out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "Support.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;

struct Outcome {
    int status = -1;
    std::string out, err;
};

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
        const fs::path in = dir_.path() / "in.txt", out = dir_.path() / "out.txt",
                       err = dir_.path() / "err.txt";
        std::ofstream(in, std::ios::binary) << input;
        std::vector<std::string> argv = std::move(prefix);
        argv.push_back((program.empty() ? exe() : program).string());
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fdIn = ::open(in.c_str(), O_RDONLY);
            const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(fdIn, 0);
            ::dup2(fdOut, 1);
            ::dup2(fdErr, 2);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            std::vector<char*> cargv;
            cargv.reserve(argv.size() + 1);
            for (auto& a : argv) cargv.push_back(a.data());
            cargv.push_back(nullptr);
            ::execvp(cargv[0], cargv.data());
            ::_exit(127);
        }
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        Outcome o;
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        o.out = readBytes(out);
        o.err = readBytes(err);
        return o;
    }

  private:
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
         "Pellomar: 9:Subscript out of range: the keyword table is empty: KEYWORD_ARRANGE.CSV has "
         "no rows after its header line\n"},
        {"input that is not UTF-8",
         kClauses,
         "select \xff",
         {},
         2,
         "Pellomar: 75:Path/File access error: standard input is not UTF-8 text (line 1, byte 8); "
         "nothing was written\n"},
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
