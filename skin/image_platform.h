#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// What the in-memory image loader needs from the machine it runs on. The loaded
// image speaks 32-bit addresses; an implementation decides what stands behind
// them (real memory in a 32-bit process, a heap buffer on a 64-bit host).

namespace vela {

// One call a platform made into image code, as platforms record them for tests.
struct PlatformCall {
    uint32_t address;
    std::vector<uint32_t> args;
    uint32_t result;
};

class ImagePlatform {
public:
    virtual ~ImagePlatform() = default;

    // Reserves and commits `size` bytes of zero-filled, writable and executable
    // memory at `address`, or anywhere when `address` is 0. Returns the address
    // of the first byte, 0 when no memory is given.
    virtual uint32_t Reserve(uint32_t address, uint32_t size) = 0;

    // Releases a reservation by the address Reserve returned.
    virtual bool Release(uint32_t address) = 0;

    // The host bytes of the reservation that starts at `address`; empty when no
    // reservation starts there. Every read and write of the loader goes through
    // this view, so its size bounds what the loader can touch.
    virtual std::span<uint8_t> Bytes(uint32_t address) = 0;

    // A handle of the named library, 0 when it cannot be loaded.
    virtual uint32_t LoadLibrary(std::string_view name) = 0;

    // The address of a procedure of a loaded library, by name or by ordinal; 0 when absent.
    virtual uint32_t GetProcAddress(uint32_t library, std::string_view name) = 0;
    virtual uint32_t GetProcAddressByOrdinal(uint32_t library, uint16_t ordinal) = 0;

    // Calls the machine code at `address` as a stdcall function with 32-bit
    // arguments and returns its 32-bit result.
    virtual uint32_t Call(uint32_t address, std::span<const uint32_t> args) = 0;
};

}  // namespace vela
