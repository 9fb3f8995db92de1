#include "RequestScope.h"

#include <string>
#include <utility>

#include "Diagnostics.h"

namespace pellomar::platform {

namespace fs = std::filesystem;

namespace {

ErrorBox& programBox() {
    static ErrorBox box;
    return box;
}

RequestScope*& innermost() {
    static RequestScope* scope = nullptr;
    return scope;
}

}  // namespace

void setErrorBox(ErrorBox box) {
    programBox() = std::move(box);
}

void showErrorBox(const ErrorRecord& record) {
    const ErrorBox* box = nullptr;
    for (RequestScope* scope = innermost(); scope != nullptr; scope = scope->outer_) {
        scope->failed_ = true;
        if (box == nullptr && scope->options_.box) box = &scope->options_.box;
    }
    if (box == nullptr && programBox()) box = &programBox();
    if (box != nullptr) {
        (*box)(record);
    } else {
        printDiagnostic(formatError(record));
    }
}

RequestScope::RequestScope() : RequestScope(Options{}) {}

RequestScope::RequestScope(Options options) : options_(std::move(options)), outer_(innermost()) {
    innermost() = this;
}

RequestScope::~RequestScope() {
    innermost() = outer_;
}

fs::path RequestScope::programDirectory() {
    for (const RequestScope* scope = innermost(); scope != nullptr; scope = scope->outer_) {
        if (!scope->options_.programDirectory.empty()) return scope->options_.programDirectory;
    }
    return {};
}

}  // namespace pellomar::platform
