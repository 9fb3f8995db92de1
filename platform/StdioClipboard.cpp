#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "Clipboard.h"
#include "ErrorRecord.h"
#include "TextCodec.h"

namespace pellomar::platform {

bool standardInputIsFile() {
    struct stat st {};
    return ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::u16string> StdioClipboard::text() {
    std::string bytes;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               std::string("cannot read standard input: ") + std::strerror(errno));
        }
        if (got == 0) break;
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
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
    const std::string bytes = encodeUtf8(crLfToLf(text));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            throw MorvantError(
                ErrorNumber::PathFileAccessError,
                std::string("cannot write standard output: ") + std::strerror(errno));
        }
        done += static_cast<std::size_t>(put);
    }
}

}  // namespace pellomar::platform
