#pragma once

#include <string>
#include <string_view>

// The one way the program replaces a file of its own (the outbox's entries and
// marks, notify.conf, what vela-cli writes with -o, a scheme file exported from
// the window): whole or not at all.

namespace vela {

enum class FileMode {
    Owner,   // 0600, the user alone: the file may hold a password or a login cookie
    Shared,  // 0666 less the umask, as any new file of this user: a feed to publish
};

// Where a write stopped.
enum class FileWriteStep {
    Done,
    Create,      // no temporary file could be made beside the target
    Write,       // writing, flushing or renaming it failed: the target is as it was
    SyncFolder,  // the new file is in place, but its entry may not be on disk yet
};

struct FileWrite {
    FileWriteStep step = FileWriteStep::Done;
    int error = 0;  // errno of the step that failed
    // The target holds the new bytes (a crash may still undo that after a
    // failed flush of the folder).
    bool Replaced() const {
        return step == FileWriteStep::Done || step == FileWriteStep::SyncFolder;
    }
};

// How the temporary file beside the target is named: the target's name and
// ".XXXXXX" made unique, with `hidden` a "." before it and `suffix` after it,
// for a folder whose readers pass over such names.
struct TemporaryName {
    bool hidden = false;
    std::string_view suffix;
};

// Writes `bytes` to a temporary file in the target's folder (made with mkostemp,
// so it never exists with a wider mode than 0600 before it gets `mode`), flushes
// it to disk, renames it over `path` and flushes the folder, so a reader, a kill
// or a crash meets the old file or the new one, never part of one. A temporary
// that was not renamed is removed.
FileWrite WriteFileAtomically(const std::string& path, std::string_view bytes, FileMode mode,
                              TemporaryName temporary = {});

}  // namespace vela
