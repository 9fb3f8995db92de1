// Lays out every .sql file it is given and counts the faults a reader would see in the result.
//
//   pellomar_layout_check --keywords-dir DIR --statements PATH... [--show KIND [N]]
//   pellomar_layout_check --as-written --statements PATH... [--show KIND [N]]
//
// --list first prints each file with the kinds of fault found in it ("-" for none).
// PATH is a file or a directory (searched recursively for *.sql); each file is one input, a
// statement or a whole script. The faults are judged from the input and the output text alone
// (LayoutFaults.h), so that any layout, of either mode, is measured the same way. Besides the
// faults it counts the hard failures: more than whitespace changed, a second layout changed the
// text, an error box. Exit status 1 when there was any hard failure, 2 on a usage error.
//
// --as-written judges the files' own layouts instead, each against the same text on one line:
// what people wrote by hand, which is how the rules themselves are checked for fairness.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Host.h"
#include "LayoutFaults.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace {

namespace fs = std::filesystem;
namespace check = pellomar::layout_check;
namespace platform = pellomar::platform;

struct Options {
    fs::path keywordsDir;
    bool asWritten = false;
    std::vector<fs::path> inputs;
    std::string show;
    int showCount = 5;
    bool list = false;
};

struct Example {
    std::string file;
    std::string lines;  // the output lines that show it, numbered
};

struct Tally {
    int statements = 0;
    int occurrences = 0;
    std::vector<Example> examples;
};

// One input's layout, or the hard failure that kept it from being judged.
struct Laid {
    std::string input;  // UTF-8, LF line ends
    std::string output;
    std::string errorBox;
    bool secondLayoutChanged = false;
};

std::vector<fs::path> sqlFiles(const std::vector<fs::path>& inputs) {
    std::vector<fs::path> files;
    for (const fs::path& in : inputs) {
        if (fs::is_regular_file(in)) {
            files.push_back(in);
            continue;
        }
        for (const auto& e : fs::recursive_directory_iterator(in)) {
            if (e.is_regular_file() && e.path().extension() == ".sql") files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The lines of a text that the findings name, each with its number (from 1), at most twelve
// lines a finding; "·" between lines that do not follow each other.
std::string numberedLines(std::string_view text, const std::vector<check::Finding>& findings) {
    std::set<int> wanted;
    for (const check::Finding& f : findings) {
        for (int line = f.firstLine; line <= std::min(f.lastLine, f.firstLine + 11); ++line) {
            wanted.insert(line);
        }
    }
    std::string out;
    int line = 0;
    int previous = -2;
    for (std::size_t begin = 0; begin <= text.size() && !wanted.empty(); ++line) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        if (wanted.count(line) > 0) {
            if (previous >= 0 && line != previous + 1) out += "      ·\n";
            char number[16];
            std::snprintf(number, sizeof number, "%5d | ", line + 1);
            out += number;
            out += text.substr(begin, end - begin);
            out += '\n';
            previous = line;
        }
        begin = end + 1;
    }
    return out;
}

// The engine's layout, as the program makes it for a request, and a second layout of that.
Laid layOut(const std::u16string& text, const fs::path& keywordsDir) {
    const std::u16string query = platform::lfToCrLf(text);
    Laid laid;
    const platform::RequestScope request(
        {[&](const pellomar::ErrorRecord& r) { laid.errorBox = pellomar::formatError(r); },
         keywordsDir});
    const std::u16string result = pellomar::clsMorvant().CArrange(query);
    if (request.failed()) return laid;
    laid.secondLayoutChanged = pellomar::clsMorvant().CArrange(result) != result;
    laid.input = platform::encodeUtf8(platform::crLfToLf(query));
    laid.output = platform::encodeUtf8(platform::crLfToLf(result));
    return laid;
}

Laid asWritten(const std::u16string& text) {
    Laid laid;
    laid.output = platform::encodeUtf8(platform::crLfToLf(text));
    laid.input = check::oneLine(laid.output);
    return laid;
}

bool parse(int argc, char** argv, Options& o) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--keywords-dir" && hasValue) {
            o.keywordsDir = fs::absolute(args[++i]).lexically_normal();
        } else if (args[i] == "--as-written") {
            o.asWritten = true;
        } else if (args[i] == "--list") {
            o.list = true;
        } else if (args[i] == "--statements" && hasValue) {
            o.inputs.emplace_back(args[++i]);
        } else if (args[i] == "--show" && hasValue) {
            o.show = args[++i];
            if (i + 1 < args.size() && !args[i + 1].empty() &&
                std::isdigit(static_cast<unsigned char>(args[i + 1][0])) != 0) {
                o.showCount = std::stoi(args[++i]);
            }
        } else {
            return false;
        }
    }
    bool knownKind =
        o.show.empty() || o.show == "content" || o.show == "second-layout" || o.show == "error-box";
    for (const auto& r : check::faultRules()) knownKind = knownKind || o.show == r.name;
    return knownKind && (o.asWritten || !o.keywordsDir.empty()) && !o.inputs.empty();
}

void usage() {
    std::fprintf(stderr,
                 "usage: pellomar_layout_check (--keywords-dir DIR | --as-written) "
                 "--statements PATH... [--show KIND [N]] [--list]\nkinds:");
    for (const auto& r : check::faultRules()) std::fprintf(stderr, " %s", r.name);
    std::fprintf(stderr, " content second-layout error-box\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    const fs::path keywordFile = o.keywordsDir / platform::kKeywordFileName;
    if (!o.asWritten && !fs::exists(keywordFile)) {
        std::fprintf(stderr, "pellomar_layout_check: --keywords-dir must hold %s\n",
                     platform::kKeywordFileName);
        return 2;
    }

    std::map<std::string, Tally> tallies;  // fault kinds and hard failures by name
    int read = 0;
    int faulty = 0;
    int notUtf8 = 0;
    for (const fs::path& file : sqlFiles(o.inputs)) {
        const auto text = platform::decodeUtf8(pellomar::testing_support::readBytes(file));
        if (!text) {
            ++notUtf8;
            continue;
        }
        ++read;
        const Laid laid = o.asWritten ? asWritten(*text) : layOut(*text, o.keywordsDir);
        const auto note = [&](const std::string& kind, int occurrences, const std::string& lines) {
            Tally& t = tallies[kind];
            ++t.statements;
            t.occurrences += occurrences;
            if (kind == o.show && static_cast<int>(t.examples.size()) < o.showCount) {
                t.examples.push_back({file.string(), lines});
            }
        };
        if (!laid.errorBox.empty()) {
            note("error-box", 1, "      | " + laid.errorBox + "\n");
            continue;
        }
        if (laid.secondLayoutChanged) note("second-layout", 1, "");
        const check::Verdict verdict = check::checkLayout(laid.input, laid.output);
        if (!verdict.contentChange.empty()) {
            note("content", 1, "      | " + verdict.contentChange + "\n");
            continue;
        }
        if (!verdict.findings.empty()) ++faulty;
        std::map<std::string, std::vector<check::Finding>> byKind;
        for (const check::Finding& f : verdict.findings) {
            byKind[check::faultName(f.fault)].push_back(f);
        }
        std::string kinds;
        for (const auto& [kind, found] : byKind) {
            note(kind, static_cast<int>(found.size()),
                 kind == o.show ? numberedLines(laid.output, found) : std::string());
            kinds += " " + kind;
        }
        if (o.list) std::printf("%s:%s\n", file.c_str(), kinds.empty() ? " -" : kinds.c_str());
    }

    const auto share = [&](int n) { return read > 0 ? 100.0 * n / read : 0.0; };
    if (o.asWritten) {
        std::printf("layouts as written, each against its text on one line\n");
    } else {
        std::printf("keyword file: %s\n", keywordFile.c_str());
    }
    std::printf("statements read: %d", read);
    if (notUtf8 > 0) std::printf(" (%d files skipped: not UTF-8)", notUtf8);
    std::printf("\nwith at least one fault: %d (%.1f%%)\n\n", faulty, share(faulty));
    std::printf("%-22s %10s %7s %12s  rule\n", "fault", "statements", "share", "occurrences");
    for (const auto& r : check::faultRules()) {
        const Tally& t = tallies[r.name];
        std::printf("%-22s %10d %6.1f%% %12d  %s\n", r.name, t.statements, share(t.statements),
                    t.occurrences, r.rule);
    }
    const int content = tallies["content"].statements;
    const int second = tallies["second-layout"].statements;
    const int boxes = tallies["error-box"].statements;
    std::printf("\nhard failures: content changed %d, second layout changed %d, error box %d\n",
                content, second, boxes);
    if (!o.show.empty()) {
        std::printf("\nexamples of %s:\n", o.show.c_str());
        for (const Example& e : tallies[o.show].examples) {
            std::printf("\n%s\n%s", e.file.c_str(), e.lines.c_str());
        }
    }
    return content + second + boxes > 0 ? 1 : 0;
}
