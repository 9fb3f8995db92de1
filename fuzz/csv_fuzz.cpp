// The keyword file's line splitter on any line: at least one field, each a piece of the line in
// order, the plain comma split wherever there are no quotes, and only the field-count overflow
// as an error.
#include "ErrorRecord.h"
#include "FuzzSupport.h"
#include "basCsv.h"

using namespace pellomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string line = fuzzing::textFrom({reinterpret_cast<const char*>(data), size});
    std::vector<std::u16string> fields;
    try {
        fields = basCsv::SplitCsv(line);
    } catch (const MorvantError& e) {
        fuzzing::require(e.record().Number == 6 && line.size() >= 32768, "only 32768 fields fail");
        return 0;
    }
    fuzzing::require(!fields.empty() && fields.size() < 32768, "1..32767 fields");
    std::size_t from = 0;
    std::u16string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t at = line.find(fields[i], from);
        fuzzing::require(at != std::u16string::npos,
                         "every field is a piece of the line, in order");
        from = at + fields[i].size();
        joined += (i == 0 ? u"" : u",") + fields[i];
    }
    if (line.find(u'"') == std::u16string::npos) {
        fuzzing::require(joined == line || joined + u"," == line, "unquoted: the comma split");
    }
    return 0;
}
