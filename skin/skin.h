#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "skin/buffer_platform.h"
#include "skin/memory_library.h"

// The window skin. The program carries a skin library image and a skin data
// block (".SHE" followed by a Qt style sheet). At program entry the library is
// mapped from memory; once the main window exists, the data block is handed to
// the library's export SkinH_AttachRes, which the buffer platform runs as a
// host function that passes the style sheet to the caller's sink. The skin is
// cosmetic: when any step fails the window keeps the plain look, silently.

namespace vela {

// The built-in blocks; both stay valid for the whole run.
std::span<const uint8_t> SkinLibraryImage();
std::span<const uint8_t> SkinData();

// Receives the style sheet when the skin is attached (the GUI applies it to the
// application).
using StyleSheetSink = std::function<void(std::string_view styleSheet)>;

class Skin {
public:
    explicit Skin(StyleSheetSink sink);
    Skin(const Skin&) = delete;
    Skin& operator=(const Skin&) = delete;

    // Program entry, before the main window is created: maps the skin library.
    // True when it is mapped; callers need not look.
    bool LoadSkinLibrary(std::span<const uint8_t> image = SkinLibraryImage());

    // First step once the main window has been created: calls SkinH_AttachRes
    // with (data address, data length, no text, 0, 0, 0). False when the export
    // is missing or the library refused the data; nothing is reported.
    bool AttachSkin(std::span<const uint8_t> data = SkinData());

    const MemoryLibrary& library() const { return library_; }
    BufferPlatform& platform() { return platform_; }

private:
    uint32_t AttachRes(std::span<const uint32_t> args);

    BufferPlatform platform_;
    MemoryLibrary library_{platform_};
    StyleSheetSink sink_;
};

}  // namespace vela
