// Host.h on Windows (the pellomar_host target of a Windows build): the program's directory, the
// keyword file's bytes and their decoding (UTF-8 when they are UTF-8, else the ANSI code page),
// and the user's lower case.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "Host.h"
#include "TextCodec.h"
#include "Win32Text.h"

namespace pellomar::platform {

namespace fs = std::filesystem;

namespace {

bool isDirectory(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

[[noreturn]] void throwFileError(DWORD error, const fs::path& path) {
    std::string detail = path.string();
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            throw MorvantError(ErrorNumber::FileNotFound, detail);
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            throw MorvantError(ErrorNumber::PathNotFound, detail);
        case ERROR_ACCESS_DENIED:
            // Opening a directory as a file is refused as access denied.
            if (isDirectory(path)) {
                throw MorvantError(ErrorNumber::PathFileAccessError, detail + " is a directory");
            }
            throw MorvantError(ErrorNumber::PermissionDenied, detail);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            throw MorvantError(ErrorNumber::PermissionDenied,
                               detail + " (another program has it open and lets no one read it)");
        default:
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               detail + " (" + systemErrorText(error) + ")");
    }
}

// Paths longer than MAX_PATH open only in the \\?\ form, unless the system has long paths
// switched on; the form is harmless when they are.
std::wstring openableForm(const fs::path& path) {
    const std::wstring& text = path.native();
    if (text.size() < MAX_PATH || text.rfind(LR"(\\?\)", 0) == 0 || !path.is_absolute()) {
        return text;
    }
    if (text.rfind(LR"(\\)", 0) == 0) return LR"(\\?\UNC\)" + text.substr(2);
    return LR"(\\?\)" + text;
}

}  // namespace

fs::path executableDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "cannot find the program's own directory (GetModuleFileNameW): " +
                                   systemErrorText(GetLastError()));
        }
        // A name that filled the buffer may have been cut short: try again with more room.
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer).parent_path();
        }
        if (buffer.size() > 65536) {
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "the program's own path is longer than Windows allows");
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The descriptor is the C runtime's over the file's handle, so that the class keeps one kind of
// owner on every host and one _close releases both.
KeywordFile::KeywordFile(const fs::path& path) : path_(path) {
    // Another program (an editor, Excel) may hold the file open: share everything, read only.
    HANDLE handle = CreateFileW(openableForm(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throwFileError(GetLastError(), path);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           path.string() + " is not a regular file");
    }
    fd_ = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(handle);
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "cannot read " + path.string() + ": no file descriptor is free");
    }
}

KeywordFile::~KeywordFile() {
    if (fd_ >= 0) _close(fd_);
}

std::string KeywordFile::readAll() {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime hands the handle back as a number
    auto* handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0 && size.QuadPart < INT_MAX) {
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    std::array<char, 65536> buffer{};
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            throw MorvantError(
                ErrorNumber::PathFileAccessError,
                "cannot read " + path_.string() + ": " + systemErrorText(GetLastError()));
        }
        if (got == 0) break;
        bytes.append(buffer.data(), got);
    }
    return bytes;
}

namespace {

// Decodes bytes of the ANSI code page strictly; nothing when a byte sequence has no meaning in
// it. Empty input is the empty text.
std::optional<std::u16string> decodeAnsi(std::string_view bytes) {
    if (bytes.empty()) return std::u16string();
    if (bytes.size() > INT_MAX) throw MorvantError(ErrorNumber::OutOfMemory, "");
    const int size = static_cast<int>(bytes.size());
    const int units =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), units);
    return fromWide(wide);
}

// Where in a line of ANSI bytes decoding first fails: walked character by character, a lead
// byte of a double-byte code page taking its trail byte with it.
std::size_t firstBadAnsiByte(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size()) {
        const bool lead = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(line[i])) != 0;
        const std::size_t length = lead && i + 1 < line.size() ? 2 : 1;
        if (!decodeAnsi(line.substr(i, length))) return i;
        i += length;
    }
    return line.size();
}

[[noreturn]] void throwUndecodable(std::string_view bytes, std::size_t bad, const fs::path& path,
                                   const std::string& charset) {
    // The line and the byte within it, counted as the user's editor counts them.
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < bad && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       path.string() + " line " + std::to_string(line) + " is not valid " +
                           charset + " (byte " + std::to_string(bad - lineStart + 1) + ")");
}

}  // namespace

// Notepad and Excel's "CSV UTF-8" save UTF-8, with or without a byte-order mark; older tools
// save the ANSI code page (Shift-JIS on a Japanese system). Bytes that decode as UTF-8 are taken
// as UTF-8: text in a double-byte code page is hardly ever valid UTF-8 as well.
std::u16string decodeKeywordText(std::string_view bytes, const fs::path& path) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(bytes, &bad);
    if (!text && bytes.substr(0, kBom.size()) == kBom) {
        throwUndecodable(bytes, bad, path, "UTF-8");
    }
    if (!text) {
        text = decodeAnsi(bytes);
        if (!text) {
            // Find the first line that does not decode, then the byte within it.
            std::size_t lineStart = 0;
            for (;;) {
                std::size_t end = bytes.find('\n', lineStart);
                if (end == std::string_view::npos) end = bytes.size();
                const std::string_view line = bytes.substr(lineStart, end - lineStart);
                const std::size_t at = firstBadAnsiByte(line);
                if (at < line.size() || end == bytes.size()) {
                    throwUndecodable(bytes, lineStart + std::min(at, line.size()), path,
                                     "code page " + std::to_string(GetACP()));
                }
                lineStart = end + 1;
            }
        }
    }
    return lfToCrLf(*text);
}

// The user's locale lowers every code unit on its own, through one call over all of them; the
// table keeps only mappings that stay within one code unit, so positions hold in both texts.
const char16_t* lowerTable() {
    static const std::unique_ptr<char16_t[]> table = [] {
        auto t = std::make_unique<char16_t[]>(0x10000);
        std::wstring units;
        units.reserve(0x10000);
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            t[u] = static_cast<char16_t>(u);
            if (u != 0 && (u < 0xD800 || u > 0xDFFF)) units.push_back(static_cast<wchar_t>(u));
        }
        std::wstring lowered(units.size(), L'\0');
        const int size = static_cast<int>(units.size());
        const int done = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE, units.data(),
                                       size, lowered.data(), size, nullptr, nullptr, 0);
        if (done != size) {
            // Should the system refuse the one call, ask unit by unit.
            for (std::size_t i = 0; i < units.size(); ++i) {
                if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE, &units[i], 1,
                                  &lowered[i], 1, nullptr, nullptr, 0) != 1) {
                    lowered[i] = units[i];
                }
            }
        }
        for (std::size_t i = 0; i < units.size(); ++i) {
            const wchar_t w = lowered[i];
            if (w < 0xD800 || w > 0xDFFF) t[static_cast<std::uint16_t>(units[i])] = w;
        }
        // A to Z always become a to z, whatever the locale.
        for (char16_t c = u'A'; c <= u'Z'; ++c) t[c] = static_cast<char16_t>(c + 32);
        return t;
    }();
    return table.get();
}

}  // namespace pellomar::platform
