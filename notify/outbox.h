#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "notify_message.h"

namespace vela {

// How far the stored articles have been handed to one channel: the highest
// `info` id handed over, a digest of that row (so that an id SQLite gave anew,
// after the newest rows were deleted, is told from the row it was), the local
// time of the read that set it (seconds since the epoch), and when it was last
// written (milliseconds since the epoch).
struct HandOverMark {
    int64_t id = 0;
    std::string row;  // the row's digest; empty when no row had that id
    int64_t readAt = 0;
    int64_t writtenMs = 0;
};

// A message waiting for one channel. `done` counts the requests of it the
// channel has taken (a message split for a size limit is several). A message
// built from the stored articles carries the channel's mark after it and the
// generation of the marks file it belongs to, so that a kill between writing it
// and writing the marks loses nothing and hands nothing over twice.
struct OutboxEntry {
    std::string name;  // its file in the outbox folder
    int64_t createdMs = 0;
    std::string channel;  // the channel's URL as written
    std::size_t done = 0;
    NotifyMessage message;
    uint64_t generation = 0;  // 0: no mark
    HandOverMark mark;
};

// Every channel's mark, in the file `marks` of the outbox folder. `generation`
// grows by one with every hand-over.
struct HandOverMarks {
    uint64_t generation = 0;
    std::map<std::string, HandOverMark> channels;  // by channel URL as written
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

    // The marks file: false with one line in `error` when it exists but cannot be
    // read; a missing file is no marks at all. Written as an entry is (temporary
    // name, flushed, renamed, the folder flushed).
    bool ReadMarks(HandOverMarks& marks, std::string& error) const;
    bool WriteMarks(const HandOverMarks& marks, std::string& error);

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

// Under the outbox's lock: the marks of pending entries (oldest first) written
// after the marks file was (a kill fell between the two writes) are taken into
// `marks`, and the file is written when any was. False with one line in `error`
// when it could not be.
bool CatchUpMarks(Outbox& outbox, const std::vector<OutboxEntry>& pending, HandOverMarks& marks,
                  std::string& error);

// The bytes of an entry's file, and back; false for a file that is not one.
std::string SerializeOutboxEntry(const OutboxEntry& entry);
bool ParseOutboxEntry(const std::string& bytes, OutboxEntry& entry);
std::string SerializeHandOverMarks(const HandOverMarks& marks);
bool ParseHandOverMarks(const std::string& bytes, HandOverMarks& marks);

}  // namespace vela
