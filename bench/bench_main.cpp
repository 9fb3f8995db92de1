// Times the layout pass on generated SQL and on the corpus, and the direct pass beside it.
//
//   pellomar_bench --keywords-dir DIR [--corpus DIR] [--against OTHER_PELLOMAR_BENCH]
//
// Every input is laid out in a child process of its own (this program again, with --child), so
// that the peak memory reported is that of a process doing nothing but laying out that input.
// With --against, the generated inputs are also laid out by another build's pellomar_bench (an
// earlier commit's, say), whose children answer the same way; the two take turns, input by input.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Host.h"
#include "MorvantTestSeam.h"
#include "ReferenceArrange.h"
#include "Spawn.h"
#include "SqlGenerator.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using pellomar::testing_support::readBytes;

// The processor time this thread has used: on a machine others share, wall time also counts
// the time the scheduler gave to them.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
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
    const pellomar::platform::RequestScope request({{}, keywordsDir});
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
    // The direct pass gets the same rows the fast one reads through CArrange.
    pellomar::KeywordTable rows;
    if (reference) {
        const fs::path file = keywordsDir / pellomar::platform::kKeywordFileName;
        pellomar::MorvantTestSeam::ParseKeywords(
            pellomar::platform::decodeKeywordText(readBytes(file), file), rows);
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
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    layOut(query);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    if (request.failed()) {
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

// Runs a pellomar_bench as a child for one input and collects its answer and its peak memory.
std::optional<Measured> measureOnce(const fs::path& program, const std::string& source,
                                    const fs::path& keywordsDir, bool reference) {
    const pellomar::testing_support::TempDir work;
    pellomar::testing_support::Process::Launch launch;
    launch.argv = {program.string(), "--child", source, "--keywords-dir", keywordsDir.string()};
    if (reference) launch.argv.emplace_back("--reference");
    const auto o = pellomar::testing_support::Process(launch, work.path(), "child")
                       .finish(std::chrono::hours(1));
    if (o.status != 0) {
        std::fprintf(stderr, "%s", o.err.c_str());
        return std::nullopt;
    }
    Measured m;
    std::istringstream(o.out) >> m.bytes >> m.wall >> m.seconds;
    m.peakKb = o.peakKilobytes;
    return m;
}

// The best of several runs' times and the highest of their peaks, for each program; the
// programs take turns, so that a stretch of a busy machine slows them alike.
std::vector<std::optional<Measured>> measure(const std::vector<fs::path>& programs,
                                             const std::string& source, const fs::path& keywordsDir,
                                             bool reference, int repeats) {
    std::vector<std::optional<Measured>> best(programs.size());
    std::vector<bool> failed(programs.size(), false);
    for (int i = 0; i < repeats; ++i) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            if (failed[p]) continue;
            const auto m = measureOnce(programs[p], source, keywordsDir, reference);
            if (!m) {
                failed[p] = true;
                best[p].reset();
            } else if (!best[p]) {
                best[p] = m;
            } else {
                best[p]->wall = std::min(best[p]->wall, m->wall);
                best[p]->seconds = std::min(best[p]->seconds, m->seconds);
                best[p]->peakKb = std::max(best[p]->peakKb, m->peakKb);
            }
        }
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
    fs::path against;
    bool reference = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--child" && i + 1 < args.size()) {
            childSpec = args[++i];
        } else if (args[i] == "--keywords-dir" && i + 1 < args.size()) {
            keywordsDir = fs::absolute(args[++i]);
        } else if (args[i] == "--corpus" && i + 1 < args.size()) {
            corpus = args[++i];
        } else if (args[i] == "--against" && i + 1 < args.size()) {
            against = fs::absolute(args[++i]);
        } else if (args[i] == "--reference") {
            reference = true;
        } else {
            std::fprintf(stderr,
                         "usage: pellomar_bench --keywords-dir DIR [--corpus DIR] "
                         "[--against OTHER_PELLOMAR_BENCH]\n");
            return 2;
        }
    }
    if (keywordsDir.empty() || !fs::exists(keywordsDir / pellomar::platform::kKeywordFileName)) {
        std::fprintf(stderr, "pellomar_bench: --keywords-dir must hold KEYWORD_ARRANGE.CSV\n");
        return 2;
    }
    if (!childSpec.empty()) return child(childSpec, keywordsDir, reference);

    const fs::path self = fs::read_symlink("/proc/self/exe");
    std::printf("Pellomar layout benchmark on %s\n", machine().c_str());
    std::printf("keyword file: %s\n", (keywordsDir / "KEYWORD_ARRANGE.CSV").c_str());
    if (!against.empty()) std::printf("against: %s\n", against.c_str());
    std::printf(
        "\neach time: the best of five processes (the direct pass: of three; at 300 KB, one)"
        " that each lay the input out once;\nprocessor time of the laying-out thread, wall "
        "time in brackets\n\n");
    std::printf("%-34s %9s %10s %10s %7s %10s %8s %11s %8s", "input", "size", "time", "(wall)",
                "MB/s", "peak", "peak/in", "direct", "ratio");
    if (!against.empty()) std::printf(" %10s %10s %8s", "against", "its peak", "time/its");
    std::printf("\n");

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
    std::optional<double> against10mb;
    for (const Row& in : inputs) {
        std::vector<fs::path> programs = {self};
        const bool compared = !against.empty() && in.source.rfind("gen:", 0) == 0;
        if (compared) programs.push_back(against);
        const auto measured = measure(programs, in.source, keywordsDir, false, 5);
        const auto& fast = measured[0];
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
                measure({self}, in.source, keywordsDir, true, in.source == "gen:300000" ? 1 : 3)[0];
            if (ref) {
                std::printf(" %9.3f s %7.0fx", ref->seconds, ref->seconds / fast->seconds);
                if (in.source == "gen:300000") ratio300 = ref->seconds / fast->seconds;
            } else {
                std::printf(" %11s", "failed");
            }
        } else {
            std::printf(" %11s %8s", "", "");
        }
        if (compared) {
            const auto& other = measured[1];
            if (other) {
                std::printf(" %8.4f s %7.1f MB %8.3f", other->seconds, other->peakKb / 1024.0,
                            fast->seconds / other->seconds);
                if (in.source == "gen:10000000") against10mb = fast->seconds / other->seconds;
            } else {
                std::printf(" %10s", "failed");
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
            std::printf("  %-46s not measured\n", what);
            allMet = false;
            return;
        }
        std::printf("  %-46s %10.2f%s  %s\n", what, *value, unit, met ? "met" : "NOT MET");
        allMet = allMet && met;
    };
    check("10 MB laid out in under 1 s", t10mb, t10mb && *t10mb < 1.0, " s");
    check("time(10 MB) / time(1 MB) at most 12",
          t10mb && t1mb ? std::optional<double>(*t10mb / *t1mb) : std::nullopt,
          t10mb && t1mb && *t10mb / *t1mb <= 12.0, "");
    check("300 KB at least 100 times the direct pass", ratio300, ratio300 && *ratio300 >= 100, "x");
    check("peak memory at 10 MB at most 12 x the input", peakRatio10mb,
          peakRatio10mb && *peakRatio10mb <= 12.0, "x");
    if (!against.empty()) {
        check("10 MB time at most 1.10 x the other build's", against10mb,
              against10mb && *against10mb <= 1.10, "x");
    }
    return allMet ? 0 : 1;
}
