#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pellomar {

// The classic run-time error numbers; the message box shows «number:description».
enum class ErrorNumber : std::int32_t {
    InvalidProcedureCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    InternalError = 51,
    FileNotFound = 53,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
};

// What one failure looks like to the user. Description is UTF-8.
struct ErrorRecord {
    std::int32_t Number = 0;
    std::string Description;
};

// «number:description», the one form in which failures are shown.
std::string formatError(const ErrorRecord& record);

// The classic text of a number, e.g. "Overflow".
const char* errorTitle(ErrorNumber number);

// Failures travel as this exception until a guarded operation turns them into an error box.
class MorvantError : public std::runtime_error {
  public:
    explicit MorvantError(ErrorRecord record);
    // Description becomes "<title>: <detail>", or just the title when detail is empty.
    MorvantError(ErrorNumber number, const std::string& detail);

    const ErrorRecord& record() const noexcept { return record_; }

  private:
    ErrorRecord record_;
};

// Turns whatever a guarded step threw into the record to show: our own errors as they are,
// allocation failures as out of memory. Call only from inside a catch block.
ErrorRecord recordFromCurrentException();

}  // namespace pellomar
