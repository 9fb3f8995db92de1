#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellomar::basCsv {

// Splits one line of the keyword file into fields. Quoted fields may hold commas; doubled quotes
// are not understood and nothing is trimmed, because stored keyword files rely on exactly this.
// Never returns an empty list. 32768 fields or more are an overflow error.
std::vector<std::u16string> SplitCsv(std::u16string_view vstrLine);

}  // namespace pellomar::basCsv
