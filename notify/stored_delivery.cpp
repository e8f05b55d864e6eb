#include "stored_delivery.h"

#include <sys/stat.h>

#include <charconv>
#include <ctime>
#include <set>

#include "channel_secrets.h"
#include "channel_url.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "store/read_rows.h"

namespace vela {
namespace {

// The articles of one message at most; a longer backlog goes out in several.
constexpr std::size_t kArticlesPerMessage = 1000;
// When the newest rows were deleted and their ids given anew, a row whose time is
// at most this much older than the mark's read may still be new: sent again
// rather than lost.
constexpr int64_t kClockSlackSeconds = 5;

// A row id as SQLite gives it (a 64-bit integer); 0 for anything else.
int64_t IdOf(const std::string& text) {
    int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    return error == std::errc() && end == text.data() + text.size() ? id : 0;
}

// The database as the hand-over reads it: a connection of its own, so that the
// window's connection is never held by a read on the delivery thread.
class ArticleReader {
public:
    explicit ArticleReader(const std::string& path) { open_ = db_.OpenDatabase(path, false); }
    bool open() const { return open_; }

    bool Highest(int64_t& id) { return HighestArticleId(db_, id); }

    // The digest of the row with this id; empty when there is none.
    bool Digest(int64_t id, std::string& digest) {
        TextTable rows;
        if (!ReadRows(db_,
                      "select planid,title,url,addtime from info where id=" + std::to_string(id),
                      rows)) {
            return false;
        }
        digest = rows.empty() ? std::string() : ArticleRowDigest(rows[0]);
        return true;
    }

    // Where the rows handed over end when the mark's own row is gone or another:
    // the newest rows were deleted and SQLite gave their ids anew. The rows stored
    // after the mark's read form the tail of the ids up to it.
    bool Boundary(const HandOverMark& mark, int64_t& boundary) {
        TextTable rows;
        if (!ReadRows(db_,
                      "select id,addtime from info where id<=" + std::to_string(mark.id) +
                          " order by id desc limit " + std::to_string(kArticlesPerMessage + 1),
                      rows)) {
            return false;
        }
        boundary = mark.id;
        for (const auto& row : rows) {
            int64_t stored = 0;
            if (row.size() < 2) continue;
            if (!StoredTimeSeconds(row[1], stored) || stored + kClockSlackSeconds < mark.readAt) {
                boundary = IdOf(row[0]);
                return true;
            }
            boundary = IdOf(row[0]) - 1;
        }
        return true;
    }

    // The rows after `id`, oldest first, at most `limit`.
    bool After(int64_t id, std::size_t limit, TextTable& rows) {
        return ReadRows(db_,
                        "select id,planid,planname,title,url,other,addtime from info where id>" +
                            std::to_string(id) + " order by id limit " + std::to_string(limit),
                        rows);
    }

private:
    Database db_;
    bool open_ = false;
};

NotifyArticle ArticleOf(const std::vector<std::string>& row) {
    // The texts as stored, as UTF-8; a byte sequence without a Unicode form is "?".
    return {GbkTextToUtf8(row[1]), GbkTextToUtf8(row[2]), GbkTextToUtf8(row[3]),
            GbkTextToUtf8(row[4]), GbkTextToUtf8(row[5]), GbkTextToUtf8(row[6])};
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

bool HighestArticleId(Database& db, int64_t& id) {
    TextTable rows;
    if (!ReadRows(db, "select max(id) from info", rows)) return false;
    id = rows.empty() || rows[0].empty() ? 0 : IdOf(rows[0][0]);
    return true;
}

bool EveryChannelMarked(const std::vector<std::string>& channels, const std::string& databasePath) {
    if (channels.empty()) return true;
    HandOverMarks marks;
    std::string error;
    Outbox(Outbox::FolderBeside(databasePath)).ReadMarks(marks, error);
    for (const std::string& channel : channels) {
        if (!marks.channels.count(channel)) return false;
    }
    return true;
}

std::string BadChannel(const std::vector<std::string>& channels) {
    for (const std::string& channel : channels) {
        std::string error;
        if (!CheckChannel(channel, error)) return MaskedChannelText(channel) + ": " + error;
    }
    return {};
}

std::string ArticleRowDigest(const std::vector<std::string>& cells) {
    // FNV-1a, 64 bits: the same in every build, and enough to tell two rows apart.
    uint64_t hash = 14695981039346656037ull;
    for (const std::string& cell : cells) {
        for (unsigned char c : cell) {
            hash = (hash ^ c) * 1099511628211ull;
        }
        hash = (hash ^ 0x1f) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool StoredTimeSeconds(const std::string& text, int64_t& seconds) {
    int parts[6] = {};
    int count = 0;
    std::size_t i = 0;
    while (count < 6 && i < text.size()) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        int value = 0;
        int digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (++digits > 4) return false;
            value = value * 10 + (text[i] - '0');
        }
        parts[count++] = value;
    }
    if (count < 6 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31 ||
        parts[3] > 23 || parts[4] > 59 || parts[5] > 60) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = parts[0] - 1900;
    tm.tm_mon = parts[1] - 1;
    tm.tm_mday = parts[2];
    tm.tm_hour = parts[3];
    tm.tm_min = parts[4];
    tm.tm_sec = parts[5];
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return false;
    seconds = static_cast<int64_t>(t);
    return true;
}

NotifyReport HandOverStored(const std::vector<std::string>& channels,
                            const std::string& databasePath, int64_t floor,
                            const DeliveryContext& context) {
    NotifyReport report;
    if (channels.empty()) return report;  // no channel: no marks, nothing made
    Outbox outbox(Outbox::FolderBeside(databasePath));
    const Outbox::Hold hold(outbox, context.holdWaitMs, context.send.stopped);
    if (!hold.held()) {
        report.errors.push_back("the outbox " + outbox.folder() +
                                " is busy or cannot be opened; the stored articles wait for the "
                                "next delivery");
        report.failed = true;
        return report;
    }
    ArticleReader reader(databasePath);
    if (!reader.open()) {
        report.errors.push_back("cannot read the articles of " + databasePath +
                                "; they wait for the next delivery");
        report.failed = true;
        return report;
    }
    HandOverMarks marks;
    std::string error;
    if (!outbox.ReadMarks(marks, error)) {
        // Starting afresh at the floor loses no article stored in this cycle.
        report.errors.push_back(error);
        report.failed = true;
    }
    std::vector<std::string> broken;
    const std::vector<OutboxEntry> pending = outbox.Pending(broken);
    CatchUpMarks(outbox, pending, marks, error);
    const uint64_t generation = marks.generation + 1;
    const int64_t readAt = NowSeconds();
    const int64_t nowMs = context.nowMs();
    bool moved = false;
    std::set<std::string> seen;
    for (const std::string& channel : channels) {
        if (!seen.insert(channel).second) continue;
        std::string why;
        if (!CheckChannel(channel, why)) {
            // Its mark, if any, stays where it is; the programs refuse such a
            // channel before a cycle, so this is an edit made during one.
            report.errors.push_back(MaskedChannelText(channel) + ": " + why);
            report.failed = true;
            continue;
        }
        auto found = marks.channels.find(channel);
        HandOverMark mark;
        bool stale = false;
        if (found == marks.channels.end()) {
            mark.id = floor;
            if (floor < 0 && !reader.Highest(mark.id)) {
                report.errors.push_back("cannot read the articles of " + databasePath);
                report.failed = true;
                continue;
            }
            if (!reader.Digest(mark.id, mark.row)) continue;
            mark.readAt = readAt;
        } else {
            mark = found->second;
            std::string digest;
            if (!reader.Digest(mark.id, digest)) continue;
            if (digest != mark.row || digest.empty()) {
                int64_t boundary = mark.id;
                if (!reader.Boundary(mark, boundary)) continue;
                mark.id = boundary;
                if (!reader.Digest(mark.id, mark.row)) continue;
            }
            stale = mark.writtenMs < nowMs - context.keep.count();
        }
        int gaveUp = 0;
        for (;;) {
            TextTable rows;
            if (!reader.After(mark.id, kArticlesPerMessage, rows)) {
                report.errors.push_back("cannot read the articles of " + databasePath);
                report.failed = true;
                break;
            }
            if (rows.empty()) break;
            std::vector<NotifyArticle> articles;
            for (const auto& row : rows) {
                if (row.size() < 7) continue;
                int64_t stored = 0;
                // A channel not handed anything for longer than a message waits in
                // the outbox gives up what is older than that, as the outbox does.
                if (stale && (!StoredTimeSeconds(row[6], stored) ||
                              stored * 1000 < nowMs - context.keep.count())) {
                    ++gaveUp;
                    continue;
                }
                articles.push_back(ArticleOf(row));
            }
            const auto& last = rows.back();
            if (last.size() < 7) break;
            HandOverMark next{IdOf(last[0]), ArticleRowDigest({last[1], last[3], last[4], last[6]}),
                              readAt, nowMs};
            if (!articles.empty()) {
                OutboxEntry entry;
                entry.createdMs = nowMs;
                entry.channel = channel;
                entry.message = CycleMessage(articles);
                entry.generation = generation;
                entry.mark = next;
                if (!outbox.Add(entry, error)) {
                    // The mark stays: the articles are handed over next time.
                    report.errors.push_back(error);
                    report.failed = true;
                    break;
                }
            }
            mark = next;
            if (rows.size() < kArticlesPerMessage) break;
        }
        if (gaveUp > 0) {
            report.errors.push_back("gave up " + std::to_string(gaveUp) + " article(s) for " +
                                    MaskedChannelText(channel) + ": not handed over within " +
                                    std::to_string(context.keep.count() / 3600000) + " hours");
            report.failed = true;
        }
        mark.readAt = readAt;
        mark.writtenMs = nowMs;
        marks.channels[channel] = mark;
        moved = true;
    }
    if (moved) {
        marks.generation = generation;
        if (!outbox.WriteMarks(marks, error)) {
            // The entries carry their marks: the next delivery takes them from there.
            report.errors.push_back(error);
            report.failed = true;
        }
    }
    return report;
}

NotifyReport DeliverStored(const std::vector<std::string>& channels,
                           const std::string& databasePath, int64_t floor,
                           const DeliveryContext& context) {
    NotifyReport report = HandOverStored(channels, databasePath, floor, context);
    Outbox outbox(Outbox::FolderBeside(databasePath));
    NotifyReport flushed = FlushOutbox(outbox, context);
    report.errors.insert(report.errors.end(), flushed.errors.begin(), flushed.errors.end());
    report.delivered.insert(report.delivered.end(), flushed.delivered.begin(),
                            flushed.delivered.end());
    report.failed = report.failed || flushed.failed;
    return report;
}

}  // namespace vela
