// The same hostile texts through the built dovlek, with standard input standing in for the
// clipboard: what a user gets from the hotkey on a host without a display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "Support.h"

extern char** environ;

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;
using testing_support::readBytes;

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string withoutSpacing(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out.push_back(c);
    }
    return out;
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

// A copy of dovlek in a directory of its own, beside the keyword file it is to read.
class Installed {
  public:
    explicit Installed(const std::optional<std::string>& keywordFile) {
        fs::copy_file(DOVLEK_PATH, dir_.path() / "dovlek");
        if (keywordFile) dir_.writeBytes(*keywordFile);
    }
    fs::path keywordFile() const { return dir_.file(); }

    // Starts dovlek without a display on the input; finish() collects it.
    pid_t start(const std::string& input, const std::string& name) const {
        const fs::path in = dir_.path() / (name + ".in");
        std::ofstream(in, std::ios::binary) << input;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        const std::string out = (dir_.path() / (name + ".out")).string();
        const std::string err = (dir_.path() / (name + ".err")).string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view var(*e);
            if (!var.starts_with("DISPLAY=") && !var.starts_with("WAYLAND_DISPLAY=")) {
                env.emplace_back(var);
            }
        }
        std::vector<char*> envp;
        envp.reserve(env.size() + 1);
        for (std::string& var : env) envp.push_back(var.data());
        envp.push_back(nullptr);
        std::string exe = (dir_.path() / "dovlek").string();
        char* argv[] = {exe.data(), nullptr};
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }

    // Waits at most the given time; a run that takes longer is killed and fails the test.
    Outcome finish(pid_t pid, const std::string& name,
                   std::chrono::seconds limit = std::chrono::seconds(300)) const {
        Outcome o;
        if (pid < 0) {
            ADD_FAILURE() << "dovlek did not start";
            return o;
        }
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int raw = 0;
        while (::waitpid(pid, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &raw, 0);
                ADD_FAILURE() << name << ": dovlek did not finish in " << limit.count() << " s";
                return o;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        o.out = readBytes(dir_.path() / (name + ".out"));
        o.err = readBytes(dir_.path() / (name + ".err"));
        return o;
    }

    Outcome run(const std::string& input) const { return finish(start(input, "run"), "run"); }

  private:
    KeywordDir dir_;
};

const std::string kEveryday =
    "KEYWORD,INDENT,LINEHEAD\r\nselect,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n\",\",1,0\r\n";

struct Row {
    const char* what;
    std::optional<std::string> keywordFile;  // none: no keyword file at all
    std::string input;
    int status;
    std::string out;
    std::string err;
};

void expectRow(const Row& row) {
    SCOPED_TRACE(row.what);
    const Installed dovlek(row.keywordFile);
    const Outcome o = dovlek.run(row.input);
    EXPECT_EQ(o.status, row.status);
    std::string err = row.err;
    if (const auto at = err.find("{path}"); at != std::string::npos) {
        err.replace(at, 6, dovlek.keywordFile().string());
    }
    EXPECT_EQ(o.err, err);
    if (row.out.size() < 2000) {
        EXPECT_EQ(o.out, row.out);
    } else {
        EXPECT_TRUE(o.out == row.out) << "output of " << o.out.size() << " bytes differs";
    }
    // Nothing lost: a failed run writes nothing (the input stays where it was), a successful one
    // changes spacing only.
    if (row.status == 0) {
        EXPECT_TRUE(withoutSpacing(o.out) == withoutSpacing(row.input)) << "more than spacing";
    } else {
        EXPECT_TRUE(o.out.empty());
    }
}

TEST(stdio_catalogue_test, hostile_texts_on_the_stand_in_clipboard) {
    using namespace std::string_literals;
    const Row rows[] = {
        {"NUL bytes", kEveryday, "select a\0b from t\0"s, 0, "select\n    a\0b\nfrom\n    t\0"s,
         ""},
        {"astral characters", kEveryday, "select \xf0\x9f\x98\x80, b from t", 0,
         "select\n    \xf0\x9f\x98\x80,\n    b\nfrom\n    t", ""},
        {"an encoded lone surrogate is not UTF-8: refused, nothing written", kEveryday,
         "select \xed\xa0\x80 from t", 2, "",
         "Pellomar: 75:Path/File access error: standard input is not UTF-8 text (line 1, byte "
         "8 of the line); nothing was written\n"},
        {"only spaces: the end trim leaves nothing", kEveryday, "     ", 0, "", ""},
        {"nothing at all", kEveryday, "", 0, "", ""},
        {"CR LF and LF alike come out as LF", kEveryday, "select a\r\nfrom t\nwhere x", 0,
         "select\n    a\nfrom\n    t\nwhere\n    x", ""},
        {"no keyword file: the box, and nothing written", std::nullopt, "select a", 1, "",
         "Pellomar: 53:File not found: {path}\n"},
    };
    for (const Row& row : rows) expectRow(row);
}

TEST(stdio_catalogue_test, one_hundred_thousand_commas) {
    expectRow({"100,000 commas", "h\r\n\",\",1,0\r\n", repeat(",", 100'000), 0,
               repeat(",\n", 100'000), ""});
}

TEST(stdio_catalogue_test, deep_level_against_many_commas_is_the_overflow_box) {
    expectRow({"level 8000 against 100,000 commas", "h\r\n\",\",8000,0\r\n", repeat(",", 100'000),
               1, "",
               "Pellomar: 6:Overflow: the text would be longer than 2147483647 characters\n"});
}

TEST(stdio_catalogue_test, fifty_megabytes) {
    const std::string statement = "select a, b from t where x = 1\n";
    const std::size_t times = 50'000'000 / statement.size();
    expectRow({"50 MB", kEveryday, repeat(statement, times), 0,
               repeat("select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1\n", times), ""});
}

TEST(stdio_catalogue_test, runs_started_at_the_same_moment) {
    // Each run reads the keyword file on its own and writes only its own output.
    const Installed dovlek(kEveryday);
    constexpr int kRuns = 8;
    std::vector<pid_t> pids;
    pids.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        pids.push_back(
            dovlek.start("select a" + std::to_string(i) + ", b from t", "run" + std::to_string(i)));
    }
    for (int i = 0; i < kRuns; ++i) {
        const Outcome o =
            dovlek.finish(pids[static_cast<std::size_t>(i)], "run" + std::to_string(i));
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "select\n    a" + std::to_string(i) + ",\n    b\nfrom\n    t");
        EXPECT_EQ(o.err, "");
    }
}

}  // namespace
}  // namespace pellomar
