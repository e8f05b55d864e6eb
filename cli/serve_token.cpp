#include "serve_token.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli_options.h"
#include "fetch/file_bytes.h"

namespace vela {
namespace {

// A token file holds one short line; more is not read.
constexpr std::size_t kTokenFileBytes = 4096;

bool ReadTokenFile(const std::string& path, std::string& token, std::string& error,
                   std::string& warning) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read the token file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (info.st_mode & S_IROTH) != 0) {
        warning =
            "warning: " + path + " can be read by every user and holds the token (chmod 600 it)";
    }
    std::string bytes;
    const int readErrno = ReadUpTo(fd, kTokenFileBytes, bytes);
    ::close(fd);
    if (readErrno != 0) {
        error = "cannot read the token file " + path + ": " + std::strerror(readErrno);
        return false;
    }
    token = bytes.substr(0, bytes.find('\n'));
    // Blanks and a CR around it come from editors, not from the token.
    while (!token.empty() &&
           (token.back() == '\r' || token.back() == ' ' || token.back() == '\t')) {
        token.pop_back();
    }
    const std::size_t first = token.find_first_not_of(" \t");
    token.erase(0, first == std::string::npos ? token.size() : first);
    if (token.empty()) {
        error = "the token file " + path + " holds no token on its first line";
        return false;
    }
    return true;
}

}  // namespace

bool ServeToken(const CliOptions& options, const char* environmentToken, std::string& token,
                std::string& error, std::string& warning) {
    const bool fromEnvironment = environmentToken != nullptr && *environmentToken != '\0';
    const int given = (options.token.empty() ? 0 : 1) + (options.tokenFile.empty() ? 0 : 1) +
                      (fromEnvironment ? 1 : 0);
    if (given > 1) {
        error = std::string("give the token one way only: --token, --token-file or ") +
                kServeTokenVariable;
        return false;
    }
    token.clear();
    if (!options.tokenFile.empty()) return ReadTokenFile(options.tokenFile, token, error, warning);
    token = fromEnvironment ? environmentToken : options.token;
    return true;
}

}  // namespace vela
