#include "fetch/process_group.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace vela {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The whole of a small /proc file (at most `limit` bytes); empty when unreadable.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text(limit, '\0');
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = read(fd, text.data() + got, limit - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    text.resize(got);
    return text;
}

// The fields of /proc/PID/stat that matter here. The command name in brackets
// may hold blanks and brackets itself, so the fields are counted from its last ")".
struct ProcStat {
    char state = '?';
    long long group = -1;
    long long residentPages = 0;
};

bool ReadProcStat(const char* pid, ProcStat& stat) {
    const std::string text = ReadSmallFile(std::string("/proc/") + pid + "/stat", 1024);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return false;
    // After ")": state(3) ppid(4) pgrp(5) ... rss(24), numbered as proc(5) numbers them.
    const char* p = text.c_str() + close + 2;
    stat.state = *p;
    int field = 3;
    while (*p != '\0' && field < 24) {
        if (*p == ' ') {
            ++field;
            if (field == 5) stat.group = std::strtoll(p + 1, nullptr, 10);
            if (field == 24) stat.residentPages = std::strtoll(p + 1, nullptr, 10);
        }
        ++p;
    }
    return field == 24;
}

// Calls `each` with the stat of every process in /proc.
template <typename Each>
void ForEachProcess(Each each) {
    std::unique_ptr<DIR, DirCloser> dir(opendir("/proc"));
    if (!dir) return;
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] < '1' || name[0] > '9') continue;
        ProcStat stat;
        if (ReadProcStat(name, stat)) each(name, stat);
    }
}

bool Running(const ProcStat& stat) { return stat.state != 'Z' && stat.state != 'X'; }

}  // namespace

std::size_t GroupResidentBytes(pid_t group) {
    static const long pageSize = sysconf(_SC_PAGESIZE);
    std::size_t pages = 0;
    ForEachProcess([&](const char*, const ProcStat& stat) {
        if (stat.group == group && stat.residentPages > 0) {
            pages += static_cast<std::size_t>(stat.residentPages);
        }
    });
    return pages * static_cast<std::size_t>(pageSize > 0 ? pageSize : 4096);
}

int GroupLiveProcesses(pid_t group) {
    int count = 0;
    ForEachProcess([&](const char*, const ProcStat& stat) {
        if (stat.group == group && Running(stat)) ++count;
    });
    return count;
}

int LiveProcessesWith(std::string_view marker) {
    int count = 0;
    ForEachProcess([&](const char* pid, const ProcStat& stat) {
        if (!Running(stat)) return;
        const std::string cmdline =
            ReadSmallFile(std::string("/proc/") + pid + "/cmdline", 64 * 1024);
        if (cmdline.find(marker) != std::string::npos) ++count;
    });
    return count;
}

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        // An empty entry is the current folder, as the shell takes it.
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace vela
