#include "sim/faults.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace velmora::sim {

// Shuts down the handler's own connection so that the client gets no answer at all. httplib
// gives handlers no socket, so it is found by its two ports. Other descriptors are only
// queried, through raw system calls because other threads may close them meanwhile (a query
// then just fails); the one shut down is this handler's connection, which httplib closes only
// after the handler returns.
bool ShutdownOwnConnection(int localPort, int peerPort) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return false;
    bool done = false;
    while (dirent* e = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0') continue;
        sockaddr_in self{}, peer{};
        socklen_t len = sizeof(self);
        if (syscall(SYS_getsockname, fd, &self, &len) != 0 || self.sin_family != AF_INET ||
            ntohs(self.sin_port) != localPort) {
            continue;
        }
        len = sizeof(peer);
        if (syscall(SYS_getpeername, fd, &peer, &len) != 0 || ntohs(peer.sin_port) != peerPort) {
            continue;
        }
        done = ::shutdown(static_cast<int>(fd), SHUT_RDWR) == 0;
        break;
    }
    closedir(dir);
    return done;
}

// The service's answer to a spent daily quota: the per-minute answer with the day's limit.
std::string DailyQuotaAnswer(std::string text) {
    auto replaceAll = [&text](std::string_view from, std::string_view to) {
        for (size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    };
    replaceAll("Queries per minute", "Queries per day");
    replaceAll("defaultPerMinutePerProject", "defaultPerDayPerProject");
    replaceAll("\"quota_limit_value\": \"240\"", "\"quota_limit_value\": \"25000\"");
    return text;
}

}  // namespace velmora::sim
