// The commands on schemes and scheme files: export, import, edit, remove, tick,
// untick and the rule test of a file's scheme. Every write goes through the
// statements of the window's editor and list menu.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>

#include "commands.h"
#include "console_text.h"
#include "engine/scheme.h"
#include "engine/scheme_file.h"
#include "engine/scheme_transfer.h"
#include "fetch/file_bytes.h"
#include "output_file.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/scheme_fields.h"
#include "store/scheme_save.h"

namespace vela {
namespace {

// The bytes of `path` ("-": standard input), at most one byte more than a scheme
// file may have, so that a larger one is refused without reading it all. The error
// names the file and the system's reason.
bool ReadSchemeFileBytes(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    const int readErrno = ReadUpTo(fd, kMaxSchemeFileBytes + 1, bytes);
    if (fd != STDIN_FILENO) ::close(fd);
    if (readErrno != 0) {
        error = "cannot read " + path + ": " + std::strerror(readErrno);
        return false;
    }
    return true;
}

void PrintLines(const Console& console, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) std::fprintf(console.err, "%s\n", line.c_str());
    std::fflush(console.err);
}

// The checked schemes of a file; nullopt, after printing why, when it cannot be
// read or has an error. `exitCode` says which.
std::optional<std::vector<FileScheme>> ReadFileSchemes(const std::string& path,
                                                       const Console& console, int& exitCode) {
    std::string bytes, error;
    if (!ReadSchemeFileBytes(path, bytes, error)) {
        PrintError(console, error);
        exitCode = kExitUsage;
        return std::nullopt;
    }
    SchemeFileRead read = ReadSchemeFile(bytes, path == "-" ? "<stdin>" : path);
    if (!read.ok()) {
        PrintLines(console, read.errors);
        exitCode = kExitSchemeFailed;
        return std::nullopt;
    }
    return std::move(read.schemes);
}

// The row of scheme `id`, empty when there is none.
std::vector<std::string> SchemeRow(Database& db, int64_t id) {
    TextTable rows;
    if (!ReadRows(db, SchemeRowQuery(id), rows) || rows.empty()) return {};
    return rows[0];
}

// False, after naming the first, when an id has no scheme.
bool AllSchemesExist(Database& db, const std::vector<int64_t>& ids, const Console& console) {
    for (const int64_t id : ids) {
        if (SchemeRow(db, id).empty()) {
            PrintError(console, "no scheme with id " + std::to_string(id));
            return false;
        }
    }
    return true;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// The user's editor, as crontab -e chooses it.
std::string EditorCommand() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return OnPath("editor") ? "editor" : "vi";
}

// Runs the editor on `path` through the shell (the variable may hold arguments)
// and waits for it. While it has the terminal, Ctrl+C belongs to it: this process
// ignores SIGINT and SIGQUIT, as system() does. True when it ended with status 0.
bool RunEditor(const std::string& editor, const std::string& path, std::string& error) {
    const std::string command = editor + " \"$1\"";
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction oldInt {
    }, oldQuit{};
    sigaction(SIGINT, &ignore, &oldInt);
    sigaction(SIGQUIT, &ignore, &oldQuit);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGQUIT, SIG_DFL);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), "sh", path.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    pid_t waited = -1;
    if (pid > 0) {
        while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    if (pid < 0 || waited < 0) {
        error = "cannot start the editor";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "the editor (" + editor + ") ended with " +
                (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                   : "signal " + std::to_string(WTERMSIG(status))) +
                "; nothing changed";
        return false;
    }
    return true;
}

bool AskAgain(const Console& console) {
    std::fprintf(console.err, "Edit again? (y/n) ");
    std::fflush(console.err);
    char answer[16];
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// A temporary file holding `text`; empty when it cannot be made.
std::string TemporaryFile(int64_t id, const std::string& text) {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/vela-scheme-" +
                       std::to_string(id) + "-XXXXXX.toml";
    const int fd = ::mkstemps(name.data(), 5);
    if (fd < 0) return {};
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(name.c_str());
            return {};
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
    return name;
}

}  // namespace

int TestFileCommand(const CliOptions& options, const Console& console) {
    int exitCode = kExitOk;
    const auto schemes = ReadFileSchemes(options.file, console, exitCode);
    if (!schemes) return exitCode;
    if (options.fileScheme > static_cast<int>(schemes->size())) {
        PrintError(console, options.file + " holds " + std::to_string(schemes->size()) +
                                " scheme(s), not " + std::to_string(options.fileScheme));
        return kExitUsage;
    }
    return PrintRuleTest(SchemeFromForm((*schemes)[options.fileScheme - 1].save.form), console);
}

int ExportCommand(const CliOptions& options, Database& db, const Console& console) {
    if (!AllSchemesExist(db, options.schemeIds, console)) return kExitUsage;
    // The schemes that can be written are; each one that cannot is named.
    const SchemeFileText file = ExportSchemes(db, options.schemeIds);
    if (!file.ok) {
        std::istringstream lines(file.error);
        for (std::string line; std::getline(lines, line);) PrintError(console, line);
    }
    if (file.text.empty()) return kExitSchemeFailed;
    const int done = file.ok ? kExitOk : kExitSchemeFailed;
    if (options.outputPath.empty() || options.outputPath == "-") {
        std::fputs(file.text.c_str(), console.out);
        std::fflush(console.out);
        return done;
    }
    // Only the user may read it: a scheme's cookie is often a login.
    std::string error;
    if (!WriteOutputFile(options.outputPath, file.text, FileMode::Owner, error)) {
        PrintError(console, error);
        return kExitSchemeFailed;
    }
    return done;
}

int ImportCommand(const CliOptions& options, Database& db, const Console& console) {
    int exitCode = kExitOk;
    const auto schemes = ReadFileSchemes(options.file, console, exitCode);
    if (!schemes) {
        // After the file's own errors, say what came of them.
        if (exitCode == kExitSchemeFailed) PrintError(console, "nothing imported");
        return exitCode;
    }
    if (options.dryRun) {
        std::fprintf(console.out, "%s: %zu scheme(s) correct; nothing imported (--dry-run)\n",
                     options.file.c_str(), schemes->size());
        std::fflush(console.out);
        return kExitOk;
    }
    const SchemeImport import = ImportSchemes(db, *schemes);
    if (!import.ok) {
        PrintError(console, import.error);
        return kExitUsage;
    }
    for (const int64_t id : import.ids)
        std::fprintf(console.out, "%lld\n", static_cast<long long>(id));
    std::fflush(console.out);
    return kExitOk;
}

int EditCommand(const CliOptions& options, Database& db, const Console& console) {
    const int64_t id = options.schemeId;
    const std::vector<std::string> row = SchemeRow(db, id);
    if (row.empty()) {
        PrintError(console, "no scheme with id " + std::to_string(id));
        return kExitUsage;
    }
    SchemeSave stored = SchemeSaveFromRow(row);
    if (!ReadSchemeFields(db, id, stored.form.fields)) {
        PrintError(console, "cannot read the keywords of scheme " + std::to_string(id) + " from " +
                                db.Path());
        return kExitUsage;
    }
    const SchemeFileText original = WriteSchemeFile({stored});
    if (!original.ok) {
        PrintError(console, original.error + " (edit this scheme in the window)");
        return kExitSchemeFailed;
    }
    const std::string path = TemporaryFile(id, original.text);
    if (path.empty()) {
        PrintError(console, "cannot make a temporary file");
        return kExitUsage;
    }
    struct Remove {
        std::string path;
        ~Remove() { ::unlink(path.c_str()); }
    } removeAtEnd{path};

    const std::string editor = EditorCommand();
    for (;;) {
        std::string error;
        if (!RunEditor(editor, path, error)) {
            PrintError(console, error);
            return kExitSchemeFailed;
        }
        std::string bytes;
        if (!ReadSchemeFileBytes(path, bytes, error)) {
            PrintError(console, error);
            return kExitSchemeFailed;
        }
        if (bytes == original.text) {
            PrintError(console, "no changes made to scheme " + std::to_string(id));
            return kExitOk;
        }
        SchemeFileRead read = ReadSchemeFile(bytes, path);
        if (read.ok() && read.schemes.size() != 1) {
            read.errors.push_back(path + ": holds " + std::to_string(read.schemes.size()) +
                                  " schemes; edit keeps exactly one [[scheme]] table");
        }
        if (read.ok() && read.errors.empty()) {
            SchemeSave save = read.schemes[0].save;
            save.rowId = id;
            const SchemeSavesOutcome saved = ExecuteSchemeSaves(db, {save});
            if (saved.missingId != 0) {
                PrintError(console, "scheme " + std::to_string(id) +
                                        " was removed meanwhile; nothing changed");
                return kExitUsage;
            }
            if (!saved.outcome.ok) {
                PrintError(console, "nothing changed: the database answered error code " +
                                        std::to_string(saved.outcome.code));
                return kExitUsage;
            }
            PrintError(console, "scheme " + std::to_string(id) + " updated");
            return kExitOk;
        }
        PrintLines(console, read.errors);
        if (!AskAgain(console)) {
            PrintError(console, "nothing changed");
            return kExitSchemeFailed;
        }
    }
}

int RemoveCommand(const CliOptions& options, Database& db, const Console& console) {
    if (!AllSchemesExist(db, {options.schemeId}, console)) return kExitUsage;
    const StatementOutcome outcome =
        ExecuteInTransaction(db, {RemoveSchemeStatement(options.schemeId)});
    if (!outcome.ok) {
        PrintError(console, "nothing removed: the database answered error code " +
                                std::to_string(outcome.code));
        return kExitUsage;
    }
    return kExitOk;
}

int TickCommand(const CliOptions& options, Database& db, const Console& console, bool ticked) {
    if (!AllSchemesExist(db, options.schemeIds, console)) return kExitUsage;
    std::vector<BoundSql> statements;
    for (const int64_t id : options.schemeIds) {
        statements.push_back(SchemeTickStatement(id, ticked));
    }
    const StatementOutcome outcome = ExecuteInTransaction(db, statements);
    if (!outcome.ok) {
        PrintError(console, "nothing changed: the database answered error code " +
                                std::to_string(outcome.code));
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace vela
