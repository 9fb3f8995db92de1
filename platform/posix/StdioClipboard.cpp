#include "StdioClipboard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "ErrorRecord.h"
#include "FdIo.h"
#include "TextCodec.h"

namespace pellomar::platform {

bool standardInputIsFile() {
    struct stat st {};
    return ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::u16string> StdioClipboard::text() {
    std::string bytes;
    if (const int err = readToEnd(STDIN_FILENO, bytes)) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           std::string("cannot read standard input: ") + std::strerror(err));
    }
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(bytes, &bad);
    if (!text) {
        const BytePlace place = placeOfByte(bytes, bad);
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "standard input is not UTF-8 text (line " + std::to_string(place.line) +
                               ", byte " + std::to_string(place.byte) +
                               " of the line); nothing was written");
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
