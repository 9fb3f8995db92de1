#include "Detach.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace pellomar::platform {

namespace {

// Descriptors 0-2 stay (they are /dev/null by now); keepFd is never one of them, since the
// program opens those before it connects.
void closeAllAbove2But(int keepFd) {
    if (keepFd > 3) ::close_range(3, static_cast<unsigned>(keepFd) - 1, 0);
    ::close_range(static_cast<unsigned>(std::max(keepFd, 2)) + 1, UINT_MAX, 0);
}

[[noreturn]] void runChild(int keepFd, const std::function<void()>& serve) {
    ::setsid();
    // The server may go away mid-write; that must end the serving, not kill it by signal.
    ::signal(SIGPIPE, SIG_IGN);
    if (::chdir("/") != 0) {
        // Nothing to report to: the parent has returned. Serving from here is still right.
    }
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        for (int fd = 0; fd <= 2; ++fd) {
            if (fd != keepFd) ::dup2(devNull, fd);
        }
        if (devNull > 2 && devNull != keepFd) ::close(devNull);
    }
    closeAllAbove2But(keepFd);
    // The layout's working memory is free again; give it back before serving for a long time.
    ::malloc_trim(0);
    serve();
    ::_exit(0);
}

}  // namespace

bool serveDetached(int keepFd, const std::function<void()>& serve) {
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) runChild(keepFd, serve);
    return true;
}

}  // namespace pellomar::platform
