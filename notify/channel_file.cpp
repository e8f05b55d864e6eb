#include "channel_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vela {
namespace {

std::string Trimmed(const std::string& line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const std::size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
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

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    if (!MakeFolders(path)) {
        error = "cannot make the folder of " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // A file left by an older program with wider permissions keeps them otherwise.
    ::fchmod(fd, 0600);
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
    }
    return ok;
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
        line = Trimmed(line);
        if (!line.empty() && line[0] != '#') channels.push_back(line);
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
    std::string text;
    bool exists = false;
    if (!ReadText(path, text, exists)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += Trimmed(channel) + "\n";
    return WriteText(path, text, error);
}

bool RemoveChannelLine(const std::string& path, const std::string& channel, std::string& error) {
    std::string text;
    bool exists = false;
    if (!ReadText(path, text, exists)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string kept;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (Trimmed(line) != Trimmed(channel)) kept += line + "\n";
    }
    return WriteText(path, kept, error);
}

}  // namespace vela
