#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ErrorRecord.h"
#include "RequestScope.h"

// The host services the engine needs: where the program lives, reading the keyword file,
// lower-casing, and the error channel (RequestScope.h). Every host implements the functions
// below in its own folder (platform/posix, platform/win32), and a program links exactly one of
// them (the pellomar_host target); what is the same on every host is in HostCommon.cpp. Nothing
// here knows about windows; the desktop front end plugs its message box in through setErrorBox.
namespace pellomar::platform {

inline constexpr const char* kKeywordFileName = "KEYWORD_ARRANGE.CSV";

// The directory of the running executable, symlinks resolved.
std::filesystem::path executableDirectory();

// Where the keyword file is looked for: in the innermost RequestScope's directory if one gives
// it, else next to the executable.
std::filesystem::path keywordFilePath();

// An open keyword file; closed when it goes out of scope.
class KeywordFile {
  public:
    // Fails (as a MorvantError) the way opening a file for reading fails: missing file or
    // directory, no permission, or something that is not a regular file in its place.
    explicit KeywordFile(const std::filesystem::path& path);
    ~KeywordFile();
    KeywordFile(const KeywordFile&) = delete;
    KeywordFile& operator=(const KeywordFile&) = delete;

    // The whole content as bytes. A read error is a MorvantError.
    std::string readAll();

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Decodes the keyword file's bytes from the host's charset and turns lone LFs into CR LF, so
// that a file saved by a Linux editor loads line by line. Bytes that do not decode are a
// MorvantError naming the line.
std::u16string decodeKeywordText(std::string_view bytes, const std::filesystem::path& path);

// Per-code-unit lower case: A-Z always, other letters by the locale where the mapping stays
// within one code unit; surrogates are left alone so that positions never shift.
char16_t lowerUnit(char16_t unit);
void lowerInPlace(std::u16string& text);
// The whole 64K mapping, for loops that lower a lot of text.
const char16_t* lowerTable();

}  // namespace pellomar::platform
