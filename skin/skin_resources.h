#pragma once

#include <cstddef>
#include <cstdint>

// The built-in skin blocks, generated at build time from the skin library
// image and resources/skin.she.

namespace vela::resources {

extern const uint8_t kSkinLibraryImage[];
extern const size_t kSkinLibraryImageSize;
extern const uint8_t kSkinData[];
extern const size_t kSkinDataSize;

}  // namespace vela::resources
