#pragma once

#include <string>
#include <vector>

namespace vela {

// The channels file shared by the window and the runner:
// $XDG_CONFIG_HOME/vela/notify.conf, by default ~/.config/vela/notify.conf. One
// channel URL per line; blank lines and lines starting with '#' are ignored, and
// a '#' after a blank (space or tab) starts a comment to the end of the line.
// Blanks around a channel are dropped. Empty when neither XDG_CONFIG_HOME nor
// HOME is set.
std::string ChannelFilePath();

struct ChannelFile {
    bool exists = false;
    bool readableByOthers = false;  // group or others may read it: it holds secrets
    std::vector<std::string> channels;
    std::string error;  // set when the file exists but cannot be read
};

ChannelFile ReadChannelFile(const std::string& path);

// The channel URLs of a file's text, in order.
std::vector<std::string> ChannelLines(const std::string& text);

// Adds a channel as the last line, or removes every line that holds this channel
// (whatever its comment); comments and other lines stay. The file (and its
// folder) is created when missing and written anew under a unique temporary name,
// readable by its owner only, then renamed into place and synced with its folder.
// The read and the write hold an advisory lock on "notify.conf.lock" beside it, so
// two programs changing the file at once each keep the other's change. False with
// one line in `error`.
bool AddChannelLine(const std::string& path, const std::string& channel, std::string& error);
bool RemoveChannelLine(const std::string& path, const std::string& channel, std::string& error);

}  // namespace vela
