#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scheme_file.h"

namespace vela {

class Database;

// The scheme file of the stored schemes `ids`, in that order, each once (every
// scheme, in id order, when empty). Not ok, with an empty text, when an id names no
// scheme or the table cannot be read. A scheme with a text that cannot go into the
// file (GBK bytes without a Unicode form) is left out and named, one line of
// `error` each: the text then holds the others, and is empty only when none is
// left; `ok` is false.
SchemeFileText ExportSchemes(Database& db, const std::vector<int64_t>& ids);

struct SchemeImport {
    bool ok = false;
    std::vector<int64_t> ids;  // the new rows, in file order
    std::string error;         // UTF-8, when not ok
};

// Adds the schemes of a checked file as new rows, all in one transaction, through
// the editor's insert statement: all are added or none. Each starts fresh, without
// a last-article marker.
SchemeImport ImportSchemes(Database& db, const std::vector<FileScheme>& schemes);

}  // namespace vela
