#include "skin/skin.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "skin/skin_resources.h"

namespace vela {
namespace {

constexpr std::string_view kAttachExport = "SkinH_AttachRes";
constexpr std::string_view kSkinMagic = ".SHE";
constexpr size_t kAttachArguments = 6;

}  // namespace

std::span<const uint8_t> SkinLibraryImage() {
    return {resources::kSkinLibraryImage, resources::kSkinLibraryImageSize};
}

std::span<const uint8_t> SkinData() { return {resources::kSkinData, resources::kSkinDataSize}; }

Skin::Skin(StyleSheetSink sink) : sink_(std::move(sink)) {}

bool Skin::LoadSkinLibrary(std::span<const uint8_t> image) {
    if (!library_.Load(image)) return false;
    // The library's code does not run on this host: its attach export is
    // carried out by the host function bound to the export's address.
    if (const uint32_t attach = library_.GetProc(kAttachExport)) {
        platform_.Bind(attach, [this](std::span<const uint32_t> args) { return AttachRes(args); });
    }
    return true;
}

bool Skin::AttachSkin(std::span<const uint8_t> data) {
    const uint32_t attach = library_.GetProc(kAttachExport);
    if (attach == 0) return false;
    // The library may keep the pointer, so the block stays placed for the run.
    const uint32_t address = platform_.Place(data);
    if (address == 0) return false;
    const uint32_t args[kAttachArguments] = {address, static_cast<uint32_t>(data.size()), 0, 0, 0,
                                             0};
    return platform_.Call(attach, args) != 0;
}

// SkinH_AttachRes(data, length, password, 0, 0, 0): the block must start with
// the magic; the style sheet is the rest, up to the first zero byte.
uint32_t Skin::AttachRes(std::span<const uint32_t> args) {
    if (args.size() != kAttachArguments) return 0;
    const std::span<const uint8_t> block = platform_.View(args[0], args[1]);
    if (block.size() < kSkinMagic.size() ||
        std::memcmp(block.data(), kSkinMagic.data(), kSkinMagic.size()) != 0) {
        return 0;
    }
    const auto sheet = block.subspan(kSkinMagic.size());
    const auto end = std::find(sheet.begin(), sheet.end(), uint8_t{0});
    if (sink_) {
        sink_(std::string_view(reinterpret_cast<const char*>(sheet.data()), end - sheet.begin()));
    }
    return 1;
}

}  // namespace vela
