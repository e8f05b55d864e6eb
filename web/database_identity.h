#pragma once

#include <string>

// The identity of a database in the ids of its feeds, so that a feed reader sees
// an entry as the same entry for good: kept inside the file, in a table of its
// own, so a file that is moved, installed elsewhere or restored from a backup
// keeps it.

namespace vela {

class Database;

// The identity kept in the file. When there is none yet and `db` can write the
// file, it is made now, once: a database that already holds articles takes the
// identity its feeds have had so far (PathIdentity of where it lies now), so no
// feed reader sees its entries again; an empty one takes a random one, so a new
// file at an old place does not take the ids of the file that was there before.
// A file that cannot be written, or whose identity cannot be read, has the
// identity of its path.
std::string DatabaseIdentity(Database& db);

// A digest of the file's absolute path: the same from run to run while the file
// stays where it is.
std::string PathIdentity(const std::string& path);

}  // namespace vela
