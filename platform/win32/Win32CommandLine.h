#pragma once

#include <string>
#include <string_view>

namespace pellomar::platform {

// What follows the program's name on a Windows command line, as the C runtime finds the name:
// up to the first space or TAB outside double quotes, then the blanks after it. The rest is
// the argument text, exactly as typed.
std::u16string argumentText(std::u16string_view commandLine);

// The argument text of this process (GetCommandLineW).
std::u16string processArgumentText();

}  // namespace pellomar::platform
