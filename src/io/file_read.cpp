#include "io/file_read.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora::io {

namespace {
TFailure SystemFailure(const std::string& path, int err) {
    return Fail(path + ": " + std::strerror(err), err);
}
}  // namespace

TResult<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemFailure(path, errno);
    // The size a file claims is not trusted for a reservation (sparse files, /proc): the buffer
    // grows with what is actually read.
    std::string data;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            close(fd);
            return SystemFailure(path, saved);
        }
        if (n == 0) break;
        if (static_cast<size_t>(n) > maxBytes - data.size()) {
            close(fd);
            return SystemFailure(path, EFBIG);
        }
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return data;
}

}  // namespace velmora::io
