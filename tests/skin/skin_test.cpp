#include "skin/skin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "skin/pe_image_writer.h"

namespace vela {
namespace {

std::string Text(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

TEST(SkinData, IsTheMagicFollowedByAStyleSheetOf7074Bytes) {
    const auto data = SkinData();
    ASSERT_EQ(data.size(), 7078u);
    EXPECT_EQ(Text(data.first(4)), ".SHE");
    EXPECT_EQ(std::count(data.begin(), data.end(), uint8_t{0}), 0);
    EXPECT_NE(Text(data).find("QPushButton"), std::string::npos);
}

TEST(SkinLibraryImage, ExportsTheSkinFunctions) {
    BufferPlatform platform;
    MemoryLibrary library(platform);
    ASSERT_TRUE(library.Load(SkinLibraryImage()));
    EXPECT_EQ(library.Handle(), 0x10000000u);
    for (const char* name : {"SkinH_Attach", "SkinH_AttachEx", "SkinH_AttachRes", "SkinH_Detach"}) {
        EXPECT_NE(library.GetProc(name), 0u) << name;
    }
}

class SkinTest : public ::testing::Test {
protected:
    Skin skin_{[this](std::string_view sheet) { sheets_.emplace_back(sheet); }};
    std::vector<std::string> sheets_;
};

TEST_F(SkinTest, AttachHandsTheDataBlockToTheExportAndTheSheetToTheSink) {
    ASSERT_TRUE(skin_.LoadSkinLibrary());
    ASSERT_TRUE(skin_.AttachSkin());

    ASSERT_EQ(sheets_.size(), 1u);
    EXPECT_EQ(sheets_[0], Text(SkinData().subspan(4)));
    // The export was called once after the attach of the entry point, with the
    // block's address, its exact length and no text.
    const auto& calls = skin_.platform().calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].address, skin_.library().GetProc("SkinH_AttachRes"));
    ASSERT_EQ(calls[1].args.size(), 6u);
    EXPECT_EQ(calls[1].args[1], 7078u);
    EXPECT_EQ(std::vector<uint32_t>(calls[1].args.begin() + 2, calls[1].args.end()),
              (std::vector<uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(Text(skin_.platform().View(calls[1].args[0], 7078)), Text(SkinData()));
}

TEST_F(SkinTest, StyleSheetEndsAtTheFirstZeroByte) {
    ASSERT_TRUE(skin_.LoadSkinLibrary());
    const std::vector<uint8_t> data = {'.', 'S', 'H', 'E', 'a', '{', '}', 0, 'x'};
    ASSERT_TRUE(skin_.AttachSkin(data));
    EXPECT_EQ(sheets_, std::vector<std::string>{"a{}"});
}

// The skin is cosmetic: each failure leaves the plain look without a word.
TEST_F(SkinTest, WithoutTheLibraryOrItsExportTheSinkIsNeverCalled) {
    PeImagePlan other;
    other.code.assign(16, 0xC3);
    other.exports = {{"SkinH_Attach", 0x1000}, {"skinh_attachres", 0x1004}};
    const std::vector<uint8_t> garbage(300, 0x4D);
    const std::vector<uint8_t> noMagic = {'.', 'S', 'H', 'X', 'a', '{', '}'};
    const std::vector<uint8_t> tooShort = {'.', 'S', 'H'};

    const struct {
        const char* what;
        std::vector<uint8_t> image;  // empty: no load step at all
        std::vector<uint8_t> data;   // empty: the built-in data
        bool loads;
    } cases[] = {
        {"attach without load", {}, {}, false},
        {"image that does not map", garbage, {}, false},
        {"image without SkinH_AttachRes", WritePeImage(other).bytes, {}, true},
        {"data without the magic", {}, noMagic, true},
        {"data shorter than the magic", {}, tooShort, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> sheets;
        Skin skin([&](std::string_view sheet) { sheets.emplace_back(sheet); });
        if (std::string(c.what) != "attach without load") {
            const bool loaded =
                c.image.empty() ? skin.LoadSkinLibrary() : skin.LoadSkinLibrary(c.image);
            EXPECT_EQ(loaded, c.loads);
        }
        EXPECT_FALSE(c.data.empty() ? skin.AttachSkin() : skin.AttachSkin(c.data));
        EXPECT_TRUE(sheets.empty());
    }
}

}  // namespace
}  // namespace vela
