#include "history/run_owner.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace velmora::history {
namespace {

constexpr char kSeparator = ' ';

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    std::string host(name);
    for (char& c : host)
        if (c == kSeparator) c = '_';
    return host;
}

// The boot's id on Linux; empty elsewhere, where pids are then trusted across reboots.
std::string BootId() {
    return ReadFirstLine("/proc/sys/kernel/random/boot_id");
}

// The process's start in clock ticks after boot (field 22 of /proc/PID/stat), or empty.
std::string StartTime(long pid) {
    const std::string stat = ReadFirstLine("/proc/" + std::to_string(pid) + "/stat");
    const size_t name = stat.rfind(')');  // the command name may hold spaces and ')'
    if (name == std::string::npos) return {};
    std::istringstream fields(stat.substr(name + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) return field;
    }
    return {};
}

std::vector<std::string> Fields(const std::string& owner) {
    std::vector<std::string> fields;
    std::istringstream in(owner);
    for (std::string f; std::getline(in, f, kSeparator);) fields.push_back(f);
    return fields;
}

}  // namespace

std::string ThisMachine() {
    return HostName();
}

std::string ThisUser() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : std::to_string(geteuid());
}

std::string ThisProcessOwner() {
    return ProcessOwner(static_cast<long>(getpid()));
}

std::string ProcessOwner(long pid) {
    std::string boot = BootId(), start = StartTime(pid);
    return HostName() + kSeparator + (boot.empty() ? "-" : boot) + kSeparator +
           std::to_string(pid) + kSeparator + (start.empty() ? "-" : start);
}

bool OwnerAlive(const std::string& owner) {
    const std::vector<std::string> f = Fields(owner);
    if (f.size() != 4) return false;
    if (f[0] != HostName()) return true;
    const std::string boot = BootId();
    if (f[1] != "-" && !boot.empty() && f[1] != boot) return false;
    long pid = 0;
    try {
        pid = std::stol(f[2]);
    } catch (...) {
        return false;
    }
    if (pid <= 0) return false;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    return f[3] == "-" || StartTime(pid) == f[3];
}

std::string OwnerText(const std::string& owner) {
    const std::vector<std::string> f = Fields(owner);
    if (f.size() != 4) return owner;
    return "pid " + f[2] + ", " + f[0];
}

}  // namespace velmora::history
