#include <unistd.h>

#include <cstring>

#include "Clipboard.h"
#include "ErrorRecord.h"
#include "FdIo.h"
#include "TextCodec.h"

namespace pellomar::platform {

std::optional<std::u16string> StdioClipboard::text() {
    std::string bytes;
    if (const int err = readToEnd(STDIN_FILENO, bytes)) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           std::string("cannot read standard input: ") + std::strerror(err));
    }
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(bytes, &bad);
    if (!text) {
        std::size_t line = 1;
        for (std::size_t i = 0; i < bad; ++i) line += bytes[i] == '\n';
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "standard input is not UTF-8 text (line " + std::to_string(line) +
                               ", byte " + std::to_string(bad + 1) + "); nothing was written");
    }
    return lfToCrLf(*text);
}

void StdioClipboard::setText(const std::u16string& text) {
    if (const int err = writeAll(STDOUT_FILENO, encodeUtf8(crLfToLf(text)))) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           std::string("cannot write standard output: ") + std::strerror(err));
    }
}

}  // namespace pellomar::platform
