#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "skin/image_platform.h"

// Maps a 32-bit Windows DLL held in memory (never a file), applies its base
// relocations, resolves its imports, runs its entry point and finds its
// exports by name or ordinal. Every image is treated as hostile: a field that
// points outside the image or the reserved memory refuses the image, and a
// refused image leaves nothing reserved.

namespace vela {

// Consulted before the platform for every import: (library, procedure, userData)
// to an address, 0 to fall back to the platform. An import by ordinal is handed
// over as the ordinal in decimal digits.
using ImportResolver = std::function<uint32_t(std::string_view library, std::string_view procedure,
                                              uint32_t userData)>;

// Upper bound of the memory one image may reserve, so that a hostile
// SizeOfImage cannot ask for the whole address space.
inline constexpr uint32_t kMaxImageReservation = 256u * 1024 * 1024;

class MemoryLibrary {
public:
    explicit MemoryLibrary(ImagePlatform& platform) : platform_(&platform) {}

    // Dropping the object leaves the image mapped, and a copy refers to the same
    // mapping: the image lives until the process ends unless Free is called.
    MemoryLibrary(const MemoryLibrary&) = default;
    MemoryLibrary& operator=(const MemoryLibrary&) = default;

    // Frees a mapped image first, then maps `image`. True when an image is mapped.
    bool Load(std::span<const uint8_t> image, const ImportResolver& resolver = {},
              uint32_t userData = 0);

    // Unmaps the image. True when nothing is mapped afterwards.
    bool Free();

    // The address of an export by exact (case-sensitive) name, or by ordinal when
    // `name` is a plain decimal number; 0 when not found or nothing is mapped.
    uint32_t GetProc(std::string_view name) const;

    // The address of the entry point; 0 when nothing is mapped.
    uint32_t EntryPoint() const;

    // The address of the mapped image; 0 when nothing is mapped.
    uint32_t Handle() const { return module_; }

    // The two halves of Load and Free, usable on their own: MapImage returns the
    // address of the mapped image or 0; UnmapImage runs the detach call of a DLL
    // and releases its memory.
    uint32_t MapImage(std::span<const uint8_t> image, const ImportResolver& resolver,
                      uint32_t userData);
    bool UnmapImage(uint32_t memory);

private:
    ImagePlatform* platform_;
    uint32_t module_ = 0;
};

}  // namespace vela
