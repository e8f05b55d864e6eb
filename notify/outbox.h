#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "notify_message.h"

namespace vela {

// A message waiting for one channel. `done` counts the requests of it the
// channel has taken (a message split for a size limit is several).
struct OutboxEntry {
    std::string name;  // its file in the outbox folder
    int64_t createdMs = 0;
    std::string channel;  // the channel's URL as written
    std::size_t done = 0;
    NotifyMessage message;
};

// The messages the channels have not taken yet, one file each in a folder of
// their own beside the database (`vela.sdb.outbox`). Each file is written to a
// temporary name, flushed to disk and renamed into place, so a kill at any moment
// leaves either the whole entry or none; an entry is removed only after its
// channel took it. The files may hold passwords and tokens: folder 0700, files 0600.
class Outbox {
public:
    explicit Outbox(std::string folder) : folder_(std::move(folder)) {}
    // The outbox of the database at `databasePath`.
    static std::string FolderBeside(const std::string& databasePath);

    const std::string& folder() const { return folder_; }

    // Stores a new entry and names it; false with one line in `error`.
    bool Add(OutboxEntry& entry, std::string& error);
    // Every entry, oldest first. A file that cannot be read is named in `broken`.
    std::vector<OutboxEntry> Pending(std::vector<std::string>& broken) const;
    // Writes the entry's progress anew.
    bool Update(const OutboxEntry& entry, std::string& error);
    bool Remove(const std::string& name);

    // Holds the outbox for one program's delivery (the window and the runner may
    // deliver at the same time): an advisory lock on its `.lock` file, asked for
    // every 100 ms until `waitMs` has passed or `stopped` says so.
    class Hold {
    public:
        Hold(const Outbox& outbox, int waitMs, const std::function<bool()>& stopped);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        bool held() const { return fd_ >= 0; }

    private:
        int fd_ = -1;
    };

private:
    bool EnsureFolder(std::string& error) const;
    bool WriteFile(const std::string& name, const std::string& bytes, std::string& error) const;

    std::string folder_;
};

// The bytes of an entry's file, and back; false for a file that is not one.
std::string SerializeOutboxEntry(const OutboxEntry& entry);
bool ParseOutboxEntry(const std::string& bytes, OutboxEntry& entry);

}  // namespace vela
