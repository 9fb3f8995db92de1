#include "PassSteps.h"

namespace pellomar {

std::u16string_view withoutTrailingSpaces(std::u16string_view text) {
    const std::size_t last = text.find_last_not_of(u' ');
    return text.substr(0, last == std::u16string_view::npos ? 0 : last + 1);
}

}  // namespace pellomar
