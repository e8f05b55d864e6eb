// The channels file: which lines are channels, and two writers at once.

#include "notify/channel_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "notify/channel_secrets.h"

namespace vela {
namespace {

namespace fs = std::filesystem;

class ChannelFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vela_channels_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        path_ = (dir_ / "vela" / "notify.conf").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Text() const {
        std::ifstream in(path_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    std::string path_;
};

// Blanks around a channel and an end-of-line comment after a blank are not part
// of it; a '#' inside the URL is.
TEST(ChannelLines, TrimBlanksAndComments) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"json://h.example/y # the team's hook", {"json://h.example/y"}},
        {"json://h.example/y\t# after a tab", {"json://h.example/y"}},
        {"json://h.example/y \t #c # d", {"json://h.example/y"}},
        {"ntfy://topic   ", {"ntfy://topic"}},
        {"\tntfy://topic\t\r", {"ntfy://topic"}},
        {"# a whole line\n  # indented\n\t#\n\n   \n", {}},
        {"json://h.example/y#part", {"json://h.example/y#part"}},
        {"json://h.example/a b", {"json://h.example/a b"}},
        {"tgram://1:A/7\r\n# x\r\nwecombot://k # robot\r\n", {"tgram://1:A/7", "wecombot://k"}},
    };
    for (const auto& [text, channels] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ChannelLines(text), channels);
    }
    // What the channel then is: no blank in its path, shown as it is.
    const std::vector<std::string> lines = ChannelLines("json://h.example/y\t# c\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MaskedChannelText(lines[0]), "json://h.example/y");
}

TEST_F(ChannelFileTest, RemovingAChannelRemovesItsCommentedLineAndKeepsTheRest) {
    std::string error;
    ASSERT_TRUE(AddChannelLine(path_, "  json://h.example/y # mine", error)) << error;
    ASSERT_TRUE(AddChannelLine(path_, "ntfy://topic", error)) << error;
    EXPECT_EQ(ReadChannelFile(path_).channels,
              (std::vector<std::string>{"json://h.example/y", "ntfy://topic"}));
    ASSERT_TRUE(RemoveChannelLine(path_, "json://h.example/y", error)) << error;
    EXPECT_EQ(Text(), "ntfy://topic\n");
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file and its lock is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "vela")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"notify.conf", "notify.conf.lock"}));
}

// Two writers adding lines at once (the window's dialog and a command): every
// line arrives.
TEST_F(ChannelFileTest, TwoWritersAtOnceLoseNoLine) {
    constexpr int kLines = 40;
    std::string errors[2];
    std::thread writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = std::thread([this, w, &errors] {
            for (int i = 0; i < kLines; ++i) {
                std::string error;
                const std::string channel =
                    "json://h.example/w" + std::to_string(w) + "/" + std::to_string(i);
                if (!AddChannelLine(path_, channel, error)) errors[w] += error + "\n";
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(errors[0] + errors[1], "");
    const std::vector<std::string> channels = ReadChannelFile(path_).channels;
    EXPECT_EQ(channels.size(), 2u * kLines);
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kLines; ++i) {
            const std::string channel =
                "json://h.example/w" + std::to_string(w) + "/" + std::to_string(i);
            EXPECT_EQ(std::count(channels.begin(), channels.end(), channel), 1) << channel;
        }
    }
}

}  // namespace
}  // namespace vela
