#include "channel_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fetch/atomic_file.h"

namespace vela {
namespace {

constexpr const char* kBlanks = " \t\r";

std::string Trimmed(const std::string& line) {
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    const std::size_t last = line.find_last_not_of(kBlanks);
    return line.substr(first, last - first + 1);
}

// The channel a line holds: blanks around it and an end-of-line comment (a '#'
// after a blank) removed; empty for a blank line or a whole-line comment. A '#'
// right after other characters stays: it belongs to the URL.
std::string ChannelOfLine(const std::string& line) {
    std::string channel = Trimmed(line);
    if (!channel.empty() && channel[0] == '#') return {};
    for (std::size_t hash = channel.find('#'); hash != std::string::npos;
         hash = channel.find('#', hash + 1)) {
        if (channel[hash - 1] == ' ' || channel[hash - 1] == '\t') {
            return Trimmed(channel.substr(0, hash));
        }
    }
    return channel;
}

bool ReadText(const std::string& path, std::string& text, bool& exists) {
    std::ifstream in(path, std::ios::binary);
    exists = static_cast<bool>(in) || errno != ENOENT;
    if (!in) return errno == ENOENT;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The file's data and the folder's new entry reach the disk before this returns,
// so a crash leaves the old file or the new one.
bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    const FileWrite written = WriteFileAtomically(path, text, FileMode::Owner);
    if (written.step == FileWriteStep::Done) return true;
    error = "cannot write " + path + ": " + std::strerror(written.error);
    return false;
}

// Reads the file, hands its text to `change` and writes the result, all under an
// advisory lock on "<file>.lock" beside it: two writers (the window's dialog and
// a command) each see the other's line.
template <typename Change>
bool ChangeFile(const std::string& path, std::string& error, Change change) {
    if (!MakeFolders(path)) {
        error = "cannot make the folder of " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string lockPath = path + ".lock";
    Descriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    int locked = -1;
    if (lock.get() >= 0) {
        do {
            locked = ::flock(lock.get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
    }
    if (locked != 0) {
        error = "cannot lock " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    bool exists = false;
    if (!ReadText(path, text, exists)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return WriteText(path, change(text), error);
}

}  // namespace

std::string ChannelFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/vela/notify.conf";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config/vela/notify.conf";
    return {};
}

std::vector<std::string> ChannelLines(const std::string& text) {
    std::vector<std::string> channels;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string channel = ChannelOfLine(line);
        if (!channel.empty()) channels.push_back(std::move(channel));
    }
    return channels;
}

ChannelFile ReadChannelFile(const std::string& path) {
    ChannelFile file;
    if (path.empty()) return file;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) file.error = "cannot read " + path + ": " + std::strerror(errno);
        file.exists = errno != ENOENT;
        return file;
    }
    file.exists = true;
    file.readableByOthers = (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
    std::string text;
    bool exists = false;
    if (!ReadText(path, text, exists)) {
        file.error = "cannot read " + path + ": " + std::strerror(errno);
        return file;
    }
    file.channels = ChannelLines(text);
    return file;
}

bool AddChannelLine(const std::string& path, const std::string& channel, std::string& error) {
    return ChangeFile(path, error, [&](std::string text) {
        if (!text.empty() && text.back() != '\n') text += '\n';
        return text + Trimmed(channel) + "\n";
    });
}

bool RemoveChannelLine(const std::string& path, const std::string& channel, std::string& error) {
    const std::string removed = ChannelOfLine(channel);
    return ChangeFile(path, error, [&](const std::string& text) {
        std::string kept;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (removed.empty() || ChannelOfLine(line) != removed) kept += line + "\n";
        }
        return kept;
    });
}

}  // namespace vela
