#pragma once

#include <string>
#include <string_view>

namespace pellomar::platform {

// The read and write loops over a descriptor, retried on EINTR. Each returns 0 on success and
// the errno value of the failure otherwise, so that callers word the error in their own terms.

int writeAll(int fd, std::string_view bytes);
// Appends everything up to the end of file to out.
int readToEnd(int fd, std::string& out);

}  // namespace pellomar::platform
