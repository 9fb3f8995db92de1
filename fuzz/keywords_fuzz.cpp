// The keyword file from raw bytes, decoding included: bytes that do not decode are the access
// error; text that decodes either loads one row per non-blank line after the header or fails
// with exactly one box of the parse errors (fields, numbers, 16-bit limits).
#include "FuzzSupport.h"
#include "Host.h"
#include "MorvantTestSeam.h"

using namespace pellomar;

namespace {

std::size_t nonBlankLinesAfterHeader(std::u16string_view text) {
    std::size_t count = 0;
    for (std::size_t start = 0, index = 0; start <= text.size(); ++index) {
        std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        const auto line = text.substr(start, end - start);
        if (index > 0 && line.find_first_not_of(u' ') != std::u16string_view::npos) ++count;
        start = end + 2;
    }
    return count;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::u16string text;
    try {
        text = platform::decodeKeywordText(bytes, "/nonexistent-fuzz-dir/KEYWORD_ARRANGE.CSV");
    } catch (const MorvantError& e) {
        fuzzing::require(e.record().Number == 75 && !platform::decodeUtf8(bytes),
                         "75 iff not UTF-8");
        return 0;
    }
    std::vector<ErrorRecord> boxes;
    const platform::RequestScope request(
        {[&boxes](const ErrorRecord& r) { boxes.push_back(r); }, "/nonexistent-fuzz-dir"});
    KeywordTable table;
    const bool loaded = MorvantTestSeam::ParseKeywords(text, table);
    fuzzing::require(boxes.size() == (loaded ? 0u : 1u), "one box exactly when the load fails");
    if (!loaded) {
        const int n = boxes.front().Number;
        // 5: a header's layout= that names no layout, or a leading word without the structured
        // layout.
        fuzzing::require(n == 5 || n == 6 || n == 9 || n == 13, "a parse error is 5, 6, 9 or 13");
        return 0;
    }
    fuzzing::require(table.size() == nonBlankLinesAfterHeader(text), "one row per non-blank line");
    return 0;
}
