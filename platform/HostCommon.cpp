// The host services that are the same on every host: the lower-casing helpers over the host's
// table.
#include "Host.h"

namespace pellomar::platform {

char16_t lowerUnit(char16_t unit) {
    return lowerTable()[unit];
}

void lowerInPlace(std::u16string& text) {
    const char16_t* table = lowerTable();
    for (char16_t& c : text) c = table[c];
}

}  // namespace pellomar::platform
