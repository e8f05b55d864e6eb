#include "outbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "fetch/atomic_file.h"

namespace vela {
namespace {

constexpr std::string_view kMagic = "vela-outbox 1\n";
// An entry that carries its channel's hand-over mark.
constexpr std::string_view kMarkedMagic = "vela-outbox 2\n";
constexpr std::string_view kMarksMagic = "vela-marks 1\n";
constexpr std::string_view kMarksName = "marks";
constexpr std::string_view kSuffix = ".msg";
// A file bigger than this is no entry of ours.
constexpr std::size_t kEntryCap = 64 * 1024 * 1024;

void Field(std::string& out, std::string_view name, std::string_view value) {
    out.append(name).append(" ").append(std::to_string(value.size())).append("\n");
    out.append(value).append("\n");
}

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool Field(std::string_view name, std::string& value) {
        const std::size_t line = bytes_.find('\n', pos_);
        if (line == std::string::npos) return false;
        const std::string_view head(bytes_.data() + pos_, line - pos_);
        if (head.size() <= name.size() || head.substr(0, name.size()) != name ||
            head[name.size()] != ' ') {
            return false;
        }
        std::size_t length = 0;
        const std::string_view digits = head.substr(name.size() + 1);
        if (digits.empty() || digits.size() > 12) return false;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            length = length * 10 + static_cast<std::size_t>(c - '0');
        }
        const std::size_t start = line + 1;
        if (start + length >= bytes_.size() || bytes_[start + length] != '\n') return false;
        value.assign(bytes_, start, length);
        pos_ = start + length + 1;
        return true;
    }
    bool Number(std::string_view name, uint64_t& value) {
        std::string text;
        if (!Field(name, text) || text.empty() || text.size() > 19) return false;
        value = 0;
        for (char c : text) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<uint64_t>(c - '0');
        }
        return true;
    }
    bool Signed(std::string_view name, int64_t& value) {
        std::string text;
        if (!Field(name, text) || text.empty() || text.size() > 20) return false;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    }
    bool Mark(HandOverMark& mark) {
        return Signed("mark_id", mark.id) && Field("mark_row", mark.row) &&
               Signed("mark_read", mark.readAt) && Signed("mark_written", mark.writtenMs);
    }
    bool AtEnd() const { return pos_ == bytes_.size(); }
    void Skip(std::size_t n) { pos_ += n; }

private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kEntryCap) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

// A temporary file left by a program killed while writing it; one that young
// may still be in the making.
void RemoveIfStale(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_mtime + 3600 < ::time(nullptr)) {
        ::unlink(path.c_str());
    }
}

void MarkFields(std::string& out, const HandOverMark& mark) {
    Field(out, "mark_id", std::to_string(mark.id));
    Field(out, "mark_row", mark.row);
    Field(out, "mark_read", std::to_string(mark.readAt));
    Field(out, "mark_written", std::to_string(mark.writtenMs));
}

}  // namespace

std::string SerializeOutboxEntry(const OutboxEntry& entry) {
    std::string out(entry.generation != 0 ? kMarkedMagic : kMagic);
    Field(out, "created", std::to_string(entry.createdMs));
    Field(out, "channel", entry.channel);
    Field(out, "done", std::to_string(entry.done));
    if (entry.generation != 0) {
        Field(out, "generation", std::to_string(entry.generation));
        MarkFields(out, entry.mark);
    }
    Field(out, "title", entry.message.title);
    Field(out, "note", entry.message.note);
    Field(out, "articles", std::to_string(entry.message.articles.size()));
    for (const NotifyArticle& a : entry.message.articles) {
        Field(out, "scheme_id", a.schemeId);
        Field(out, "scheme", a.scheme);
        Field(out, "title", a.title);
        Field(out, "link", a.link);
        Field(out, "other", a.other);
        Field(out, "time", a.time);
    }
    out += "end\n";
    return out;
}

bool ParseOutboxEntry(const std::string& bytes, OutboxEntry& entry) {
    const bool marked = bytes.compare(0, kMarkedMagic.size(), kMarkedMagic) == 0;
    if (!marked && bytes.compare(0, kMagic.size(), kMagic) != 0) return false;
    Reader in(bytes);
    in.Skip(kMagic.size());
    uint64_t created = 0, done = 0, count = 0;
    NotifyMessage& m = entry.message;
    if (!in.Number("created", created) || !in.Field("channel", entry.channel) ||
        !in.Number("done", done)) {
        return false;
    }
    entry.generation = 0;
    entry.mark = {};
    if (marked && (!in.Number("generation", entry.generation) || entry.generation == 0 ||
                   !in.Mark(entry.mark))) {
        return false;
    }
    if (!in.Field("title", m.title) || !in.Field("note", m.note) || !in.Number("articles", count)) {
        return false;
    }
    // Each article takes at least six short lines: a count beyond that is a lie.
    if (count > bytes.size() / 12) return false;
    m.articles.clear();
    m.articles.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        NotifyArticle& a = m.articles.emplace_back();
        if (!in.Field("scheme_id", a.schemeId) || !in.Field("scheme", a.scheme) ||
            !in.Field("title", a.title) || !in.Field("link", a.link) ||
            !in.Field("other", a.other) || !in.Field("time", a.time)) {
            return false;
        }
    }
    if (bytes.size() < 4 || bytes.compare(bytes.size() - 4, 4, "end\n") != 0) return false;
    entry.createdMs = static_cast<int64_t>(created);
    entry.done = static_cast<std::size_t>(done);
    return true;
}

std::string SerializeHandOverMarks(const HandOverMarks& marks) {
    std::string out(kMarksMagic);
    Field(out, "generation", std::to_string(marks.generation));
    Field(out, "channels", std::to_string(marks.channels.size()));
    for (const auto& [channel, mark] : marks.channels) {
        Field(out, "channel", channel);
        MarkFields(out, mark);
    }
    out += "end\n";
    return out;
}

bool ParseHandOverMarks(const std::string& bytes, HandOverMarks& marks) {
    if (bytes.compare(0, kMarksMagic.size(), kMarksMagic) != 0) return false;
    Reader in(bytes);
    in.Skip(kMarksMagic.size());
    uint64_t count = 0;
    if (!in.Number("generation", marks.generation) || !in.Number("channels", count)) return false;
    if (count > bytes.size() / 12) return false;
    marks.channels.clear();
    for (uint64_t i = 0; i < count; ++i) {
        std::string channel;
        HandOverMark mark;
        if (!in.Field("channel", channel) || !in.Mark(mark)) return false;
        marks.channels[channel] = mark;
    }
    return bytes.size() >= 4 && bytes.compare(bytes.size() - 4, 4, "end\n") == 0;
}

std::string Outbox::FolderBeside(const std::string& databasePath) {
    return databasePath + ".outbox";
}

bool Outbox::EnsureFolder(std::string& error) const {
    if (::mkdir(folder_.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat st {};
        if (::stat(folder_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    }
    error = "cannot make the outbox folder " + folder_ + ": " + std::strerror(errno);
    return false;
}

bool Outbox::WriteFile(const std::string& name, const std::string& bytes,
                       std::string& error) const {
    // The temporary's name starts with "." and ends with ".tmp": Pending passes
    // over it and removes it once it is stale.
    const FileWrite written =
        WriteFileAtomically(folder_ + "/" + name, bytes, FileMode::Owner, {true, ".tmp"});
    if (written.Replaced()) return true;
    error = "cannot write in the outbox " + folder_ + ": " + std::strerror(written.error);
    return false;
}

bool Outbox::Add(OutboxEntry& entry, std::string& error) {
    if (!EnsureFolder(error)) return false;
    static std::atomic<unsigned> counter{0};
    // Zero-padded milliseconds first: the names sort oldest first.
    char name[96];
    std::snprintf(name, sizeof name, "%015lld-%d-%u%s", static_cast<long long>(entry.createdMs),
                  static_cast<int>(::getpid()), counter++, kSuffix.data());
    entry.name = name;
    return WriteFile(entry.name, SerializeOutboxEntry(entry), error);
}

bool Outbox::Update(const OutboxEntry& entry, std::string& error) {
    return WriteFile(entry.name, SerializeOutboxEntry(entry), error);
}

bool Outbox::Remove(const std::string& name) {
    const bool ok = ::unlink((folder_ + "/" + name).c_str()) == 0 || errno == ENOENT;
    SyncFolder(folder_);
    return ok;
}

bool Outbox::ReadMarks(HandOverMarks& marks, std::string& error) const {
    marks = {};
    std::string bytes;
    const std::string path = folder_ + "/" + std::string(kMarksName);
    if (!ReadWhole(path, bytes)) {
        if (errno == ENOENT) return true;
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!ParseHandOverMarks(bytes, marks)) {
        marks = {};
        error = "cannot read " + path + ": it is damaged";
        return false;
    }
    return true;
}

bool Outbox::WriteMarks(const HandOverMarks& marks, std::string& error) {
    return EnsureFolder(error) &&
           WriteFile(std::string(kMarksName), SerializeHandOverMarks(marks), error);
}

bool CatchUpMarks(Outbox& outbox, const std::vector<OutboxEntry>& pending, HandOverMarks& marks,
                  std::string& error) {
    uint64_t newest = marks.generation;
    for (const OutboxEntry& entry : pending) {
        if (entry.generation <= marks.generation) continue;
        marks.channels[entry.channel] = entry.mark;
        newest = std::max(newest, entry.generation);
    }
    if (newest == marks.generation) return true;
    marks.generation = newest;
    return outbox.WriteMarks(marks, error);
}

std::vector<OutboxEntry> Outbox::Pending(std::vector<std::string>& broken) const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder_.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name.size() > 4 && name[0] == '.' &&
                name.compare(name.size() - 4, 4, ".tmp") == 0) {
                RemoveIfStale(folder_ + "/" + name);
                continue;
            }
            if (name.size() > kSuffix.size() && name[0] != '.' &&
                name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<OutboxEntry> entries;
    for (const std::string& name : names) {
        OutboxEntry entry;
        std::string bytes;
        if (!ReadWhole(folder_ + "/" + name, bytes)) {
            // Taken by another program between the listing and the read.
            if (errno == ENOENT) continue;
            broken.push_back(name);
            continue;
        }
        if (!ParseOutboxEntry(bytes, entry)) {
            broken.push_back(name);
            continue;
        }
        entry.name = name;
        entries.push_back(std::move(entry));
    }
    return entries;
}

Outbox::Hold::Hold(const Outbox& outbox, int waitMs, const std::function<bool()>& stopped) {
    std::string error;
    if (!outbox.EnsureFolder(error)) return;
    fd_ = ::open((outbox.folder() + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    for (int waited = 0;; waited += 100) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (waited >= waitMs || (stopped && stopped())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::close(fd_);
    fd_ = -1;
}

Outbox::Hold::~Hold() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace vela
