#include "ErrorRecord.h"

#include <exception>
#include <new>

namespace pellomar {

std::string formatError(const ErrorRecord& record) {
    return std::to_string(record.Number) + ":" + record.Description;
}

const char* errorTitle(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::InvalidProcedureCall:
            return "Invalid procedure call or argument";
        case ErrorNumber::Overflow:
            return "Overflow";
        case ErrorNumber::OutOfMemory:
            return "Out of memory";
        case ErrorNumber::SubscriptOutOfRange:
            return "Subscript out of range";
        case ErrorNumber::TypeMismatch:
            return "Type mismatch";
        case ErrorNumber::InternalError:
            return "Internal error";
        case ErrorNumber::FileNotFound:
            return "File not found";
        case ErrorNumber::PermissionDenied:
            return "Permission denied";
        case ErrorNumber::PathFileAccessError:
            return "Path/File access error";
        case ErrorNumber::PathNotFound:
            return "Path not found";
    }
    return "Error";
}

namespace {
std::string describe(ErrorNumber number, const std::string& detail) {
    std::string text = errorTitle(number);
    if (!detail.empty()) text += ": " + detail;
    return text;
}
}  // namespace

MorvantError::MorvantError(ErrorRecord record)
    : std::runtime_error(formatError(record)), record_(std::move(record)) {}

MorvantError::MorvantError(ErrorNumber number, const std::string& detail)
    : MorvantError(ErrorRecord{static_cast<std::int32_t>(number), describe(number, detail)}) {}

ErrorRecord recordFromCurrentException() {
    try {
        throw;
    } catch (const MorvantError& e) {
        return e.record();
    } catch (const std::bad_alloc&) {
        return {static_cast<std::int32_t>(ErrorNumber::OutOfMemory), "Out of memory"};
    } catch (const std::length_error&) {
        // A string or vector asked for more than it can ever hold: the same failure to the user.
        return {static_cast<std::int32_t>(ErrorNumber::OutOfMemory), "Out of memory"};
    } catch (const std::exception& e) {
        return {static_cast<std::int32_t>(ErrorNumber::InternalError),
                std::string("Internal error: ") + e.what()};
    }
}

}  // namespace pellomar
