#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "skin/image_platform.h"

// The image platform of a 64-bit host: an emulated 32-bit address space whose
// reservations are heap buffers. No machine code of an image ever runs here.
// Imports resolve from a table of host symbols, and a call of an address runs
// the host function bound to it; code without a host function "returns" 1, so
// an entry point that nobody emulates reports a successful attach.

namespace vela {

// A host function called in place of image code, given the 32-bit arguments.
using HostFunction = std::function<uint32_t(std::span<const uint32_t> args)>;

class BufferPlatform : public ImagePlatform {
public:
    // Reservations are placed inside [kLowestAddress, kHighestAddress), on
    // 64 KiB boundaries as on Windows; host symbols get addresses above it.
    static constexpr uint32_t kLowestAddress = 0x00010000;
    static constexpr uint32_t kHighestAddress = 0x7FFE0000;
    static constexpr uint32_t kGranularity = 0x10000;

    BufferPlatform() = default;
    BufferPlatform(const BufferPlatform&) = delete;
    BufferPlatform& operator=(const BufferPlatform&) = delete;

    uint32_t Reserve(uint32_t address, uint32_t size) override;
    bool Release(uint32_t address) override;
    std::span<uint8_t> Bytes(uint32_t address) override;
    uint32_t LoadLibrary(std::string_view name) override;
    uint32_t GetProcAddress(uint32_t library, std::string_view name) override;
    uint32_t GetProcAddressByOrdinal(uint32_t library, uint16_t ordinal) override;
    uint32_t Call(uint32_t address, std::span<const uint32_t> args) override;

    // Makes `name` (and `ordinal` when not 0) of `library` importable; the
    // import resolves to a fresh address bound to `function`. Library names
    // compare without regard to ASCII case, as on Windows.
    uint32_t AddHostSymbol(std::string_view library, std::string_view name, HostFunction function,
                           uint16_t ordinal = 0);

    // Runs `function` whenever `address` is called.
    void Bind(uint32_t address, HostFunction function);

    // Keeps reservations away from a range, as if another module sat there.
    void Occupy(uint32_t address, uint32_t size);

    // Refuses reservations larger than `size` bytes, as a machine short of
    // memory would.
    void LimitReservations(uint32_t size) { reservationLimit_ = size; }

    // A copy of host bytes placed into the address space (a data block handed
    // to image code); 0 when there is no room.
    uint32_t Place(std::span<const uint8_t> bytes);

    // The host bytes behind [address, address + size), translated at the
    // boundary of the emulated space; empty unless one reservation holds all.
    std::span<uint8_t> View(uint32_t address, uint32_t size);

    const std::vector<PlatformCall>& calls() const { return calls_; }
    size_t reservationCount() const { return reservations_.size(); }

private:
    struct FreeDeleter {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    struct Reservation {
        uint32_t size;
        std::unique_ptr<uint8_t, FreeDeleter> bytes;
    };
    struct Symbol {
        std::string name;
        uint16_t ordinal;
        uint32_t address;
    };

    bool IsFree(uint64_t address, uint64_t size) const;
    const std::vector<Symbol>* Library(uint32_t handle) const;

    std::map<uint32_t, Reservation> reservations_;
    std::vector<std::pair<uint32_t, uint32_t>> occupied_;
    std::vector<std::pair<std::string, std::vector<Symbol>>> libraries_;
    std::map<uint32_t, HostFunction> functions_;
    std::vector<PlatformCall> calls_;
    uint32_t nextSymbolAddress_ = kHighestAddress;
    uint32_t reservationLimit_ = kHighestAddress - kLowestAddress;
};

}  // namespace vela
