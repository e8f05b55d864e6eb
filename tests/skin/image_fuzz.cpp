// libFuzzer target: any byte string as an image for MapImage and GetProc on the
// buffer platform. Besides the sanitizers' findings, a refused image that
// leaves memory reserved, or a Free that reports success but leaves memory,
// stops the run.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "skin/buffer_platform.h"
#include "skin/memory_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vela::BufferPlatform platform;
    // Large reservations only cost time here: the loader's own cap is covered
    // by the unit tests.
    platform.LimitReservations(1u << 20);
    platform.AddHostSymbol(
        "KERNEL32.dll", "GetProcAddress", [](auto) { return 1u; }, 1);
    vela::MemoryLibrary library(platform);
    // Inputs whose last byte is even (as in the seeds, which end in padding)
    // resolve every import, so that images get past the import step to the
    // entry point and the exports; odd ones exercise the failing imports.
    vela::ImportResolver resolveAll;
    if (size == 0 || (data[size - 1] & 1) == 0) {
        resolveAll = [](std::string_view, std::string_view, uint32_t) { return 0x7FFE1000u; };
    }
    const bool loaded = library.Load({data, size}, resolveAll, 0);
    if (!loaded) {
        if (platform.reservationCount() != 0) __builtin_trap();
        return 0;
    }
    // Names to look up: fixed ones, ordinals, and the input's last bytes.
    const std::string_view tail(reinterpret_cast<const char*>(data) + (size > 12 ? size - 12 : 0),
                                size > 12 ? 12 : size);
    for (std::string_view name : {std::string_view("SkinH_AttachRes"), std::string_view("1"),
                                  std::string_view("2"), std::string_view(""), tail}) {
        const uint32_t address = library.GetProc(name);
        if (address != 0 && platform.View(address, 1).empty()) __builtin_trap();
    }
    library.EntryPoint();
    if (library.Free() && platform.reservationCount() != 0) __builtin_trap();
    return 0;
}
