#pragma once

#include <string>

// Where the database file lives, decided in one place for the window and the
// headless runner. No Qt: the runner links this without the GUI.

namespace vela {

// What the decision looks at. Paths are in the system's own encoding.
struct DatabaseLocationInput {
    std::string executableDir;            // the folder that holds the program file
    bool installedSchemaPresent = false;  // <executableDir>/../share/vela/schema.sql exists
    std::string xdgDataHome;              // $XDG_DATA_HOME, empty when unset
    std::string home;                     // $HOME, empty when unset
    std::string explicitPath;             // --database PATH, empty when not given
};

struct DatabaseLocation {
    // The database file; empty when an installed program finds no data folder
    // (neither XDG_DATA_HOME nor HOME usable): the start then reports a missing file.
    std::string path;
    // Set for an installed program: the file is created from this schema when it
    // does not exist yet. Empty: the file is used as it is and never created.
    std::string schemaPath;
};

// --database wins; an installed program (its schema under ../share/vela) keeps the
// file in $XDG_DATA_HOME/vela (default ~/.local/share/vela) and creates it on the
// first start; anything else (the build tree, a copied folder) uses vela.sdb beside
// the program file, exactly as before.
DatabaseLocation ChooseDatabaseLocation(const DatabaseLocationInput& input);

// The schema an installed program carries: <executableDir>/../share/vela/schema.sql.
std::string InstalledSchemaPath(const std::string& executableDir);

// The input for a program in `executableDir`, read from the environment and the
// file system.
DatabaseLocationInput GatherLocationInput(const std::string& executableDir,
                                          const std::string& explicitPath);

// Creates the file of an installed program from its schema when it is missing, with
// its folders (mode 0700). The tables are written to a temporary file that is then
// moved into place, so an interrupted first start never leaves a half-made file
// that a later start would take for the database. The move never replaces a file:
// when another start has put its file there meanwhile, that one stays and both
// use it. True when the file exists afterwards or is not to be created; on
// failure `error` says why.
bool EnsureDatabaseFile(const DatabaseLocation& location, std::string& error);

}  // namespace vela
