// The fast layout pass against the direct one on inputs libFuzzer evolves: the same truth value,
// the same text and the same error boxes, or the input is kept as a finding.
//
// Input: a byte n, then for each of 1 + n % 6 keyword rows a level byte, a kind byte, a length
// byte and that many bytes of keyword (UTF-8 when they decode, else one code unit per byte);
// what follows is the query (UTF-8, or UTF-16LE when it is not UTF-8).
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Host.h"
#include "MorvantTestSeam.h"
#include "ReferenceArrange.h"

using namespace pellomar;

namespace {

std::int16_t levelFrom(std::uint8_t b) {
    // Mostly -1..6; now and then a level whose indentation cannot be built.
    static constexpr std::int16_t kOdd[] = {8191, 8192, -8192, -32768, 32767, 8190, -8193, 100};
    return b >= 0xF8 ? kOdd[b - 0xF8] : static_cast<std::int16_t>(b % 8 - 1);
}

std::u16string keywordFrom(std::string_view bytes) {
    if (auto text = platform::decodeUtf8(bytes)) return *text;
    return std::u16string(bytes.begin(), bytes.end());
}

struct Outcome {
    bool ok = false;
    std::u16string text;
    std::vector<std::string> boxes;
};

// One pass over the query, its boxes collected.
template <class Pass>
Outcome run(Pass pass) {
    Outcome o;
    const platform::RequestScope request(
        {[&o](const ErrorRecord& r) { o.boxes.push_back(formatError(r)); }, {}});
    o.ok = pass(o.text);
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.empty()) return 0;
    const std::size_t count = 1 + static_cast<std::uint8_t>(in[0]) % 6;
    in.remove_prefix(1);
    KeywordTable rows;
    for (std::size_t i = 0; i < count && in.size() >= 3; ++i) {
        typKeyword row;
        row.intIndent = levelFrom(static_cast<std::uint8_t>(in[0]));
        const auto kind = static_cast<std::uint8_t>(in[1]);
        row.intLineHead = static_cast<std::int16_t>(kind % 4 == 3 ? kind : kind % 2);
        const std::size_t length = std::min<std::size_t>(in.size() - 3, in[2] % 16);
        row.strWord = keywordFrom(in.substr(3, length));
        in.remove_prefix(3 + length);
        rows.push_back(std::move(row));
    }
    const std::u16string query = fuzzing::textFrom(in);
    // A deep level adds some 64,000 code units per splice: on all but short queries that makes
    // texts of many megabytes, seconds per run under the sanitizers. Deep levels meet short
    // queries only; their errors come at the first splice either way.
    if (query.size() > 64) {
        for (typKeyword& row : rows) {
            if (row.intIndent > 64) row.intIndent = 8;
        }
    }

    const Outcome fast =
        run([&](std::u16string& out) { return MorvantTestSeam::ArrangeText(query, rows, out); });
    // Deep levels can blow a short input up to megabytes, which the direct pass takes minutes
    // over; the differential tests check such texts, the fuzzer keeps its pace.
    if (fast.text.size() > 200000) return 0;
    const Outcome direct =
        run([&](std::u16string& out) { return referenceArrangeText(query, rows, out); });

    fuzzing::require(fast.ok == direct.ok, "the same truth value as the direct pass");
    fuzzing::require(fast.text == direct.text, "the same text as the direct pass");
    fuzzing::require(fast.boxes == direct.boxes, "the same error boxes as the direct pass");
    return 0;
}
