#pragma once

#include <filesystem>
#include <functional>

#include "ErrorRecord.h"

// The error channel: how a failure reaches the user, and how a front end learns that the request
// it made failed. An empty result is no sign of failure (the layout of an empty text is empty), so
// a front end holds a RequestScope around its call of CArrange and asks it afterwards.
namespace pellomar::platform {

// How this program shows an error box, installed once by its front end (a desktop box, a box in
// front of the test window). Without one, a box is the line "Pellomar: number:description" on
// standard error.
using ErrorBox = std::function<void(const ErrorRecord&)>;
void setErrorBox(ErrorBox box);

// Shows one error box: the innermost RequestScope's own box if it has one, else the program's.
// Every RequestScope alive learns that its request failed.
void showErrorBox(const ErrorRecord& record);

// One request, from the front end's call of CArrange to its return. Scopes nest (a test's scope
// around a front end's own); they belong to the program's one thread.
//
// Tests, fuzzers and the benchmark give a scope a box of their own, which collects the boxes
// instead of showing them, and a directory that stands in for the program's, where the keyword
// file is looked for. Front ends give it neither.
class RequestScope {
  public:
    struct Options {
        ErrorBox box;                            // empty: the program's box
        std::filesystem::path programDirectory;  // empty: the executable's directory
    };

    RequestScope();
    explicit RequestScope(Options options);
    ~RequestScope();
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

    // Whether an error box was shown while this scope was alive.
    bool failed() const { return failed_; }

    // The directory that the innermost scope gives for the program's, or the empty path when
    // none does (the keyword file is then next to the executable).
    static std::filesystem::path programDirectory();

  private:
    friend void showErrorBox(const ErrorRecord& record);

    Options options_;
    bool failed_ = false;
    RequestScope* outer_;
};

}  // namespace pellomar::platform
