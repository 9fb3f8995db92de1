// A whole request: a keyword file and a query through CArrange, the error box captured. Input
// before the first 0x1E byte is the keyword file, byte for byte; the rest is the query. Without
// that byte the whole input is the query, laid out with four everyday rows, where the result
// must also keep every literal and comment and be laid out already.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "Host.h"
#include "Support.h"
#include "clsMorvant.h"

using namespace pellomar;

namespace {
std::filesystem::path dir;
// The comma row comes first. Last, its splice would put a word written right after a comma
// («,from») between delimiters only after the word's own scan, and a second pass would break it.
constexpr std::string_view kEverydayRows =
    "KEYWORD,INDENT,LINEHEAD\r\n\",\",1,0\r\nselect,1,1\r\nfrom,1,1\r\nwhere,1,1\r\n";

void removeDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Rewriting a file on ext4 flushes it at every close; tmpfs keeps the runs fast.
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = base / "pellomar-fuzz-XXXXXX";
    dir = ::mkdtemp(pattern.data());
    std::atexit(removeDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\x1e');
    const bool everyday = cut == std::string_view::npos;
    const std::string_view file = everyday ? kEverydayRows : input.substr(0, cut);
    std::ofstream(dir / platform::kKeywordFileName, std::ios::binary | std::ios::trunc) << file;
    const std::u16string query = fuzzing::textFrom(everyday ? input : input.substr(cut + 1));
    std::vector<ErrorRecord> boxes;
    const platform::RequestScope request(
        {[&boxes](const ErrorRecord& r) { boxes.push_back(r); }, dir});
    const std::u16string out = clsMorvant{}.CArrange(query);
    if (!boxes.empty()) {
        const int n = boxes.front().Number;
        fuzzing::require(boxes.size() == 1 && out.empty(), "a failed request: one box, no text");
        // 5: a header's layout= that names no layout, or a leading word without the structured
        // layout.
        fuzzing::require(n == 5 || n == 6 || n == 7 || n == 9 || n == 13 || n == 75,
                         "a known error");
        return 0;
    }
    fuzzing::require(testing_support::withoutSpacing(out) == testing_support::withoutSpacing(query),
                     "only spaces, TABs and line breaks change");
    if (everyday) {
        // Spaces that end the whole text go even inside a comment that runs to the end.
        fuzzing::require(testing_support::contentOf(out) == testing_support::contentOf(query),
                         "literals and comments stay as they are");
        fuzzing::require(clsMorvant{}.CArrange(out) == out, "a laid-out text stays as it is");
    }
    return 0;
}
