// Times the layout pass on generated SQL and on the corpus, and the direct pass beside it.
//
//   pellomar_bench --keywords-dir DIR [--corpus DIR]
//
// Every input is laid out in a child process of its own (this program again, with --child), so
// that the peak memory reported is that of a process doing nothing but laying out that input.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Host.h"
#include "ReferenceArrange.h"
#include "SqlGenerator.h"
#include "TextCodec.h"
#include "clsMorvant.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The processor time this thread has used: on a machine others share, wall time also counts
// the time the scheduler gave to them.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The bytes of an input source: "gen:<bytes>" or "file:<path>".
std::string inputBytes(const std::string& source) {
    if (source.rfind("gen:", 0) == 0)
        return pellomar::bench::generateSql(std::stoul(source.substr(4)));
    return readBytes(source.substr(5));
}

// The child: lays the input out once with the fast pass (or, with --reference, the direct pass)
// and prints "<bytes> <wall seconds> <processor seconds>".
int child(const std::string& source, const fs::path& keywordsDir, bool reference) {
    pellomar::platform::setProgramDirectoryForTesting(keywordsDir);
    std::size_t bytes = 0;
    std::u16string query;
    {
        std::string raw = inputBytes(source);
        bytes = raw.size();
        auto text = pellomar::platform::decodeUtf8(raw);
        if (!text) {
            std::fprintf(stderr, "%s is not UTF-8\n", source.c_str());
            return 1;
        }
        raw = std::string();
        query = pellomar::platform::lfToCrLf(*text);
    }
    pellomar::KeywordTable rows;
    if (reference) {
        // The direct pass gets the same rows the fast one reads through CArrange.
        std::u16string lines = pellomar::platform::decodeKeywordText(
            readBytes(keywordsDir / pellomar::platform::kKeywordFileName), keywordsDir);
        lines.erase(0, lines.find(u"\r\n") + 2);
        while (!lines.empty()) {
            const std::size_t at = std::min(lines.find(u"\r\n"), lines.size());
            std::u16string line = lines.substr(0, at);
            lines.erase(0, std::min(lines.size(), at + 2));
            if (line.find_first_not_of(u' ') == std::u16string::npos) continue;
            // The shipped file's rows are «word,level,kind» or «"symbol",level,kind».
            const std::size_t c2 = line.rfind(u',');
            const std::size_t c1 = line.rfind(u',', c2 - 1);
            std::u16string word = line.substr(0, c1);
            if (word.size() >= 2 && word.front() == u'"') word = word.substr(1, word.size() - 2);
            rows.push_back({word,
                            static_cast<std::int16_t>(std::stoi(
                                pellomar::platform::encodeUtf8(line.substr(c1 + 1, c2 - c1 - 1)))),
                            static_cast<std::int16_t>(
                                std::stoi(pellomar::platform::encodeUtf8(line.substr(c2 + 1))))});
        }
    }
    const auto layOut = [&](const std::u16string& text) {
        std::u16string out;
        if (reference) {
            pellomar::referenceArrangeText(text, rows, out);
        } else {
            out = pellomar::clsMorvant{}.CArrange(text);
        }
    };
    // A short request first builds what every request shares (the lower-case table, the
    // keyword search's tables); the timed run then starts, like a user's request, with the
    // input's own memory still to be mapped, whatever its size.
    layOut(u"select a, b from t where x = 1");
    const auto boxesBefore = pellomar::platform::errorBoxCount();
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    layOut(query);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    if (pellomar::platform::errorBoxCount() != boxesBefore) {
        std::fprintf(stderr, "%s: the layout failed\n", source.c_str());
        return 1;
    }
    std::printf("%zu %.6f %.6f\n", bytes, wall, cpu);
    return 0;
}

struct Measured {
    std::size_t bytes = 0;
    double wall = 0;
    double seconds = 0;  // processor time of the laying-out thread
    long peakKb = 0;
};

// Runs this program as a child for one input and collects its answer and its peak memory.
std::optional<Measured> measureOnce(const std::string& source, const fs::path& keywordsDir,
                                    bool reference) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string dir = keywordsDir.string();
    std::vector<std::string> args = {self, "--child", source, "--keywords-dir", dir};
    if (reference) args.push_back("--reference");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        return std::nullopt;
    }
    std::string answer;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    Measured m;
    std::istringstream(answer) >> m.bytes >> m.wall >> m.seconds;
    m.peakKb = usage.ru_maxrss;
    return m;
}

// The best of several children's times, and the highest of their peaks.
std::optional<Measured> measure(const std::string& source, const fs::path& keywordsDir,
                                bool reference, int repeats) {
    std::optional<Measured> best;
    for (int i = 0; i < repeats; ++i) {
        const auto m = measureOnce(source, keywordsDir, reference);
        if (!m) return std::nullopt;
        if (!best) {
            best = m;
            continue;
        }
        best->wall = std::min(best->wall, m->wall);
        best->seconds = std::min(best->seconds, m->seconds);
        best->peakKb = std::max(best->peakKb, m->peakKb);
    }
    return best;
}

std::string machine() {
    std::ifstream cpu("/proc/cpuinfo");
    std::string line;
    std::string model = "unknown CPU";
    while (std::getline(cpu, line)) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores";
}

std::string sizeName(std::size_t bytes) {
    char s[32];
    if (bytes >= 1000000) {
        std::snprintf(s, sizeof s, "%.1f MB", bytes / 1e6);
    } else {
        std::snprintf(s, sizeof s, "%.0f KB", bytes / 1e3);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string childSpec;
    fs::path keywordsDir;
    fs::path corpus;
    bool reference = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--child" && i + 1 < args.size()) {
            childSpec = args[++i];
        } else if (args[i] == "--keywords-dir" && i + 1 < args.size()) {
            keywordsDir = fs::absolute(args[++i]);
        } else if (args[i] == "--corpus" && i + 1 < args.size()) {
            corpus = args[++i];
        } else if (args[i] == "--reference") {
            reference = true;
        } else {
            std::fprintf(stderr, "usage: pellomar_bench --keywords-dir DIR [--corpus DIR]\n");
            return 2;
        }
    }
    if (keywordsDir.empty() || !fs::exists(keywordsDir / pellomar::platform::kKeywordFileName)) {
        std::fprintf(stderr, "pellomar_bench: --keywords-dir must hold KEYWORD_ARRANGE.CSV\n");
        return 2;
    }
    if (!childSpec.empty()) return child(childSpec, keywordsDir, reference);

    std::printf("Pellomar layout benchmark on %s\n", machine().c_str());
    std::printf("keyword file: %s\n\n", (keywordsDir / "KEYWORD_ARRANGE.CSV").c_str());
    std::printf(
        "each time: the best of five processes (the direct pass: of three; at 300 KB, one)"
        " that each lay the input out once;\nprocessor time of the laying-out thread, wall "
        "time in brackets\n\n");
    std::printf("%-34s %9s %10s %10s %7s %10s %8s %11s %8s\n", "input", "size", "time", "(wall)",
                "MB/s", "peak", "peak/in", "direct", "ratio");

    struct Row {
        std::string name;
        std::string source;
        bool withReference;
    };
    std::vector<Row> inputs;
    for (const std::size_t kb : {10, 100, 300, 1000, 10000}) {
        inputs.push_back({"generated SQL " + sizeName(kb * 1000),
                          "gen:" + std::to_string(kb * 1000), kb <= 300});
    }
    if (!corpus.empty() && fs::is_directory(corpus)) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(corpus)) {
            if (e.is_regular_file()) files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            inputs.push_back({"corpus " + f.filename().string(), "file:" + f.string(), false});
        }
    }

    bool allMet = true;
    std::optional<double> t1mb;
    std::optional<double> t10mb;
    std::optional<double> ratio300;
    std::optional<double> peakRatio10mb;
    for (const Row& in : inputs) {
        const auto fast = measure(in.source, keywordsDir, false, 5);
        if (!fast) {
            std::printf("%-34s failed\n", in.name.c_str());
            allMet = false;
            continue;
        }
        const double mb = fast->bytes / 1e6;
        const double peakMb = fast->peakKb / 1024.0;
        std::printf("%-34s %9s %8.4f s (%7.4f) %7.1f %7.1f MB %7.1fx", in.name.c_str(),
                    sizeName(fast->bytes).c_str(), fast->seconds, fast->wall, mb / fast->seconds,
                    peakMb, fast->peakKb * 1024.0 / fast->bytes);
        if (in.withReference) {
            std::fflush(stdout);
            const auto ref =
                measure(in.source, keywordsDir, true, in.source == "gen:300000" ? 1 : 3);
            if (ref) {
                std::printf(" %9.3f s %7.0fx", ref->seconds, ref->seconds / fast->seconds);
                if (in.source == "gen:300000") ratio300 = ref->seconds / fast->seconds;
            } else {
                std::printf(" %11s", "failed");
            }
        }
        std::printf("\n");
        std::fflush(stdout);
        if (in.source == "gen:1000000") t1mb = fast->seconds;
        if (in.source == "gen:10000000") {
            t10mb = fast->seconds;
            peakRatio10mb = fast->peakKb * 1024.0 / fast->bytes;
        }
    }

    std::printf("\ntargets:\n");
    const auto check = [&](const char* what, std::optional<double> value, bool met,
                           const char* unit) {
        if (!value) {
            std::printf("  %-44s not measured\n", what);
            allMet = false;
            return;
        }
        std::printf("  %-44s %10.2f%s  %s\n", what, *value, unit, met ? "met" : "NOT MET");
        allMet = allMet && met;
    };
    check("10 MB laid out in under 1 s", t10mb, t10mb && *t10mb < 1.0, " s");
    check("time(10 MB) / time(1 MB) at most 12",
          t10mb && t1mb ? std::optional<double>(*t10mb / *t1mb) : std::nullopt,
          t10mb && t1mb && *t10mb / *t1mb <= 12.0, "");
    check("300 KB at least 100 times the direct pass", ratio300, ratio300 && *ratio300 >= 100, "x");
    check("peak memory at 10 MB under 10 x the input", peakRatio10mb,
          peakRatio10mb && *peakRatio10mb < 10.0, "x");
    return allMet ? 0 : 1;
}
