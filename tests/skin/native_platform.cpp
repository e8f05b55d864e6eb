#include "native_platform.h"

#include <sys/mman.h>

#include <cstdint>

static_assert(sizeof(void*) == 4, "the native image platform runs in a 32-bit process only");

namespace vela {
namespace {

constexpr uint32_t kPageSize = 0x1000;

template <typename... Args>
using StdCall = uint32_t(__attribute__((stdcall)) *)(Args...);

}  // namespace

NativePlatform::~NativePlatform() {
    for (const auto& [address, length] : reservations_) {
        munmap(reinterpret_cast<void*>(address), length);
    }
}

uint32_t NativePlatform::Reserve(uint32_t address, uint32_t size) {
    if (size == 0 || (address != 0 && refusePreferred_)) return 0;
    const uint32_t length = (size + kPageSize - 1) / kPageSize * kPageSize;
    const int fixed = address != 0 ? MAP_FIXED_NOREPLACE : 0;
    void* p = mmap(reinterpret_cast<void*>(address), length, PROT_READ | PROT_WRITE | PROT_EXEC,
                   MAP_PRIVATE | MAP_ANONYMOUS | fixed, -1, 0);
    if (p == MAP_FAILED) return 0;
    const auto at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
    if (address != 0 && at != address) {  // kernels without MAP_FIXED_NOREPLACE take it as a hint
        munmap(p, length);
        return 0;
    }
    reservations_[at] = length;
    return at;
}

bool NativePlatform::Release(uint32_t address) {
    const auto it = reservations_.find(address);
    if (it == reservations_.end()) return false;
    munmap(reinterpret_cast<void*>(address), it->second);
    reservations_.erase(it);
    return true;
}

std::span<uint8_t> NativePlatform::Bytes(uint32_t address) {
    const auto it = reservations_.find(address);
    if (it == reservations_.end()) return {};
    return {reinterpret_cast<uint8_t*>(address), it->second};
}

uint32_t NativePlatform::Call(uint32_t address, std::span<const uint32_t> args) {
    const auto code = reinterpret_cast<uintptr_t>(address);
    const uint32_t* a = args.data();
    uint32_t result = 0;
    switch (args.size()) {
        case 0:
            result = reinterpret_cast<StdCall<>>(code)();
            break;
        case 1:
            result = reinterpret_cast<StdCall<uint32_t>>(code)(a[0]);
            break;
        case 3:
            result =
                reinterpret_cast<StdCall<uint32_t, uint32_t, uint32_t>>(code)(a[0], a[1], a[2]);
            break;
        case 6:
            result = reinterpret_cast<
                StdCall<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>>(code)(
                a[0], a[1], a[2], a[3], a[4], a[5]);
            break;
        default:
            return 0;
    }
    calls_.push_back({address, std::vector<uint32_t>(args.begin(), args.end()), result});
    return result;
}

}  // namespace vela
