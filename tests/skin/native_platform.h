#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "skin/image_platform.h"

// The image platform of a 32-bit x86 process: reservations are real
// executable pages and a call runs the machine code at the address. Only for
// the 32-bit test program, which maps images it built itself.

namespace vela {

class NativePlatform : public ImagePlatform {
public:
    ~NativePlatform() override;

    uint32_t Reserve(uint32_t address, uint32_t size) override;
    bool Release(uint32_t address) override;
    std::span<uint8_t> Bytes(uint32_t address) override;
    uint32_t LoadLibrary(std::string_view) override { return 0; }
    uint32_t GetProcAddress(uint32_t, std::string_view) override { return 0; }
    uint32_t GetProcAddressByOrdinal(uint32_t, uint16_t) override { return 0; }
    uint32_t Call(uint32_t address, std::span<const uint32_t> args) override;

    // When set, a reservation at a given address fails, as if that range were
    // taken, so images are mapped elsewhere and relocated.
    void RefusePreferredAddresses(bool refuse) { refusePreferred_ = refuse; }

    const std::vector<PlatformCall>& calls() const { return calls_; }
    size_t reservationCount() const { return reservations_.size(); }

private:
    std::map<uint32_t, uint32_t> reservations_;  // address to length
    std::vector<PlatformCall> calls_;
    bool refusePreferred_ = false;
};

}  // namespace vela
