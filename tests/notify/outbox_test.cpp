// The outbox's files: every text survives the round trip, a damaged file is never
// taken for an entry, and a kill -9 in the middle of writing leaves only whole
// entries.

#include "notify/outbox.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace vela {
namespace {

namespace fs = std::filesystem;

OutboxEntry HostileEntry() {
    OutboxEntry entry;
    entry.createdMs = 1700000000123;
    entry.channel = "tgram://1:A/7";
    entry.done = 2;
    entry.message.title = "发现 2 篇新文章";
    entry.message.note = "end\nchannel 3\nabc";
    entry.message.articles = {
        {"1", "s\n", "title 12\nend\n", "http://x/\r\n", std::string("a\0b", 3), "t"},
        {"", "", "", "", "", ""},
    };
    return entry;
}

bool Same(const OutboxEntry& a, const OutboxEntry& b) {
    if (a.createdMs != b.createdMs || a.channel != b.channel || a.done != b.done ||
        a.message.title != b.message.title || a.message.note != b.message.note ||
        a.message.articles.size() != b.message.articles.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.message.articles.size(); ++i) {
        const NotifyArticle &x = a.message.articles[i], &y = b.message.articles[i];
        if (x.schemeId != y.schemeId || x.scheme != y.scheme || x.title != y.title ||
            x.link != y.link || x.other != y.other || x.time != y.time) {
            return false;
        }
    }
    return true;
}

TEST(Outbox, EveryTextSurvivesAndNoDamagedFileIsAnEntry) {
    const OutboxEntry entry = HostileEntry();
    const std::string bytes = SerializeOutboxEntry(entry);
    OutboxEntry back;
    ASSERT_TRUE(ParseOutboxEntry(bytes, back));
    EXPECT_TRUE(Same(entry, back));
    // A file cut anywhere (a disk full, a foreign writer) is refused.
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        OutboxEntry cut;
        EXPECT_FALSE(ParseOutboxEntry(bytes.substr(0, length), cut)) << length;
    }
    std::string lying = bytes;
    lying.replace(lying.find("articles 1\n2"), 12, "articles 1\n9");
    EXPECT_FALSE(ParseOutboxEntry(lying, back));
}

// An entry with its channel's hand-over mark, and the marks file: every value
// comes back, and a cut file is refused.
TEST(Outbox, MarksSurviveAndACutMarksFileIsRefused) {
    OutboxEntry entry = HostileEntry();
    entry.generation = 7;
    entry.mark = {-3, "0123456789abcdef", 1700000000, 1700000000123};
    const std::string bytes = SerializeOutboxEntry(entry);
    OutboxEntry back;
    ASSERT_TRUE(ParseOutboxEntry(bytes, back));
    EXPECT_TRUE(Same(entry, back));
    EXPECT_EQ(back.generation, 7u);
    EXPECT_EQ(back.mark.id, -3);
    EXPECT_EQ(back.mark.row, "0123456789abcdef");
    EXPECT_EQ(back.mark.writtenMs, 1700000000123);

    HandOverMarks marks;
    marks.generation = 12;
    marks.channels["json://h/x\nend\n"] = {42, "", 5, 6};
    marks.channels["tgram://1:A/7"] = {INT64_MAX, "ff", 7, 8};
    const std::string file = SerializeHandOverMarks(marks);
    HandOverMarks read;
    ASSERT_TRUE(ParseHandOverMarks(file, read));
    EXPECT_EQ(read.generation, 12u);
    ASSERT_EQ(read.channels.size(), 2u);
    EXPECT_EQ(read.channels["json://h/x\nend\n"].id, 42);
    EXPECT_EQ(read.channels["tgram://1:A/7"].id, INT64_MAX);
    EXPECT_EQ(read.channels["tgram://1:A/7"].row, "ff");
    for (std::size_t length = 0; length < file.size(); ++length) {
        HandOverMarks cut;
        EXPECT_FALSE(ParseHandOverMarks(file.substr(0, length), cut)) << length;
    }
}

TEST(Outbox, AKillWhileWritingLeavesOnlyWholeEntries) {
    const fs::path dir = fs::temp_directory_path() / ("vela_outbox_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Outbox outbox(dir.string());
            OutboxEntry entry = HostileEntry();
            entry.message.articles.resize(2000, entry.message.articles[0]);
            for (int i = 0;; ++i) {
                std::string error;
                entry.createdMs = i;
                if (!outbox.Add(entry, error)) ::_exit(1);
                entry.done = 5;
                outbox.Update(entry, error);
                if (i % 2 == 0) outbox.Remove(entry.name);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 37 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
    }
    std::vector<std::string> broken;
    const std::vector<OutboxEntry> entries = Outbox(dir.string()).Pending(broken);
    EXPECT_TRUE(broken.empty()) << broken.front();
    EXPECT_FALSE(entries.empty());
    for (const OutboxEntry& entry : entries) EXPECT_EQ(entry.message.articles.size(), 2000u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vela
