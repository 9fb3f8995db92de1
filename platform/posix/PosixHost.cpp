// Host.h on POSIX (the pellomar_host target of a Linux build): the program's directory, the
// keyword file's bytes and their decoding by the locale, and the locale's lower case.
#include "Host.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "FdIo.h"
#include "TextCodec.h"

namespace pellomar::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwFileError(int err, const fs::path& path) {
    ErrorNumber number = ErrorNumber::PathFileAccessError;
    switch (err) {
        case ENOENT: {
            // Tell the user whether the file or the whole directory is missing.
            std::error_code ec;
            number = fs::is_directory(path.parent_path(), ec) ? ErrorNumber::FileNotFound
                                                              : ErrorNumber::PathNotFound;
            break;
        }
        case ENOTDIR:
            number = ErrorNumber::PathNotFound;
            break;
        case EACCES:
        case EPERM:
            number = ErrorNumber::PermissionDenied;
            break;
        default:
            break;
    }
    std::string detail = path.string();
    // A dangling link looks present in a directory listing; say where it points, or the user
    // searches for a file that is plainly there.
    std::error_code ec;
    if (err == ENOENT && fs::is_symlink(fs::symlink_status(path, ec))) {
        detail += " (a symbolic link to " + fs::read_symlink(path, ec).string() +
                  ", which does not exist)";
    }
    throw MorvantError(number, detail);
}

}  // namespace

fs::path executableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        throw MorvantError(
            ErrorNumber::PathFileAccessError,
            "cannot find the program's own directory (/proc/self/exe): " + ec.message());
    }
    return exe.parent_path();
}

KeywordFile::KeywordFile(const fs::path& path) : path_(path) {
    // O_NONBLOCK so that a FIFO in the file's place cannot hang the request at the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throwFileError(errno, path);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throwFileError(err, path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        const char* what = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
        throw MorvantError(ErrorNumber::PathFileAccessError, path.string() + " " + what);
    }
}

KeywordFile::~KeywordFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::string KeywordFile::readAll() {
    std::string bytes;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    if (const int err = readToEnd(fd_, bytes)) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "cannot read " + path_.string() + ": " + std::strerror(err));
    }
    return bytes;
}

namespace {

bool localeIsUtf8OrPlain() {
    const char* name = std::setlocale(LC_CTYPE, nullptr);
    if (name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) {
        return true;
    }
    const char* codeset = nl_langinfo(CODESET);
    return codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
           std::strcmp(codeset, "utf8") == 0;
}

// For the rare non-UTF-8 locale (ISO-8859-1, EUC-JP, TSCII, ...): decode through iconv.
std::optional<std::u16string> decodeWithIconv(std::string_view bytes, std::size_t* badOffset) {
    iconv_t cd = iconv_open("UTF-16LE", nl_langinfo(CODESET));
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's own failure value
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw MorvantError(
            ErrorNumber::PathFileAccessError,
            std::string("the locale's charset cannot be decoded: ") + nl_langinfo(CODESET));
    }
    std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
    // Most bytes become one code unit; some charsets give more (one TSCII byte is up to four
    // Tamil characters), and the room grows when iconv says it ran out.
    std::vector<char> out(bytes.size() * 2 + 16);
    std::size_t used = 0;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    for (;;) {
        char* outp = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // With all input taken, one more call writes what a stateful charset still holds.
        const bool flush = inLeft == 0;
        const std::size_t done = flush ? iconv(cd, nullptr, nullptr, &outp, &outLeft)
                                       : iconv(cd, &in, &inLeft, &outp, &outLeft);
        const int err = errno;
        used = static_cast<std::size_t>(outp - out.data());
        if (done != static_cast<std::size_t>(-1)) {
            if (flush) break;
            continue;
        }
        if (err == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (badOffset) *badOffset = static_cast<std::size_t>(in - bytes.data());
        return std::nullopt;
    }
    const std::size_t units = used / 2;
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                        (static_cast<unsigned char>(out[2 * i + 1]) << 8));
    }
    return text;
}

}  // namespace

std::u16string decodeKeywordText(std::string_view bytes, const fs::path& path) {
    const auto decode = [](std::string_view part, std::size_t* bad) {
        return localeIsUtf8OrPlain() ? decodeUtf8(part, bad) : decodeWithIconv(part, bad);
    };
    // Line 1 is a header that is never read as a row, so bytes in it that do not decode (a
    // Latin-1 or CP932 header above UTF-8 rows, say) must not fail the file. It is decoded on its
    // own; if it does not decode, its ASCII characters stand for it (its CRs among them, which
    // tell a file with lone-CR line ends).
    const std::size_t headerEnd = std::min(bytes.find('\n'), bytes.size());
    const std::string_view header = bytes.substr(0, headerEnd);
    std::size_t bad = 0;
    std::optional<std::u16string> text = decode(header, &bad);
    if (!text) {
        text.emplace();
        for (const char c : header) {
            text->push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c)
                                                                 : u'\uFFFD');
        }
    }
    if (headerEnd < bytes.size()) {
        const std::string_view rows = bytes.substr(headerEnd + 1);
        const std::optional<std::u16string> rowsText = decode(rows, &bad);
        if (!rowsText) {
            const BytePlace place = placeOfByte(bytes, headerEnd + 1 + bad);
            const char* charset = localeIsUtf8OrPlain() ? "UTF-8" : nl_langinfo(CODESET);
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               path.string() + " line " + std::to_string(place.line) +
                                   " is not valid " + charset + " (byte " +
                                   std::to_string(place.byte) + " of the line)");
        }
        *text += u'\n';
        *text += *rowsText;
    }
    return lfToCrLf(*text);
}

const char16_t* lowerTable() {
    static const std::unique_ptr<char16_t[]> table = [] {
        auto t = std::make_unique<char16_t[]>(0x10000);
        for (std::uint32_t u = 0; u < 0x10000; ++u) t[u] = static_cast<char16_t>(u);
        for (char16_t u = u'A'; u <= u'Z'; ++u) t[u] = static_cast<char16_t>(u + 32);
        // The locale is asked only outside the blocks in which Unicode has no letter case at all
        // (CJK ideographs, Yi, Hangul syllables, surrogates, private use: three quarters of the
        // code units): the table is built for every request, and asking about all of them cost
        // a fifth of a hotkey press.
        constexpr std::pair<std::uint32_t, std::uint32_t> kCased[] = {
            {0x0080, 0x3400}, {0x4DC0, 0x4E00}, {0xA4D0, 0xAC00}, {0xF900, 0x10000}};
        for (const auto& [begin, end] : kCased) {
            for (std::uint32_t u = begin; u < end; ++u) {
                const std::wint_t w = std::towlower(static_cast<std::wint_t>(u));
                // Keep only mappings that stay one code unit, so positions hold in both texts.
                if (w < 0x10000 && (w < 0xD800 || w > 0xDFFF)) t[u] = static_cast<char16_t>(w);
            }
        }
        return t;
    }();
    return table.get();
}

}  // namespace pellomar::platform
