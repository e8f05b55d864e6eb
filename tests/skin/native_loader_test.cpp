// Runs in a 32-bit process: maps DLLs into executable memory with the loader,
// runs their entry points and calls their exports, proving the mapping end to
// end. A plain program (GoogleTest has no 32-bit build here); it prints each
// failed check and exits with 1.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "native_platform.h"
#include "skin/memory_library.h"

namespace {

int failures = 0;

#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                        \
        }                                                                                      \
    } while (0)

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t CallExport(vela::NativePlatform& platform, const vela::MemoryLibrary& library,
                    const char* name, std::vector<uint32_t> args) {
    const uint32_t address = library.GetProc(name);
    CHECK(address != 0);
    return address != 0 ? platform.Call(address, args) : 0;
}

// The probe DLL's entry point records its reason; ProbeRead reads a global
// through a relocated pointer, so it returns 1000 + x only when every
// relocation of the code and data was applied.
void ProbeRunsMapped(bool elsewhere) {
    std::fprintf(stderr, "probe DLL %s\n", elsewhere ? "away from its base" : "at its base");
    vela::NativePlatform platform;
    platform.RefusePreferredAddresses(elsewhere);
    vela::MemoryLibrary library(platform);
    const std::vector<uint8_t> image = ReadFile(VELA_PROBE_DLL);
    CHECK(!image.empty());
    CHECK(library.Load(image));
    if (library.Handle() == 0) return;
    CHECK((library.Handle() == 0x10000000) == !elsewhere);
    CHECK(platform.calls().size() == 1);
    CHECK(platform.calls()[0].args == (std::vector<uint32_t>{0, 1, 0}));
    CHECK(platform.calls()[0].result == 1);
    CHECK(CallExport(platform, library, "ProbeLastReason", {}) == 1);
    CHECK(CallExport(platform, library, "ProbeEntryCalls", {}) == 1);
    CHECK(CallExport(platform, library, "ProbeRead", {7}) == 1007);
    CHECK(CallExport(platform, library, "3", {5}) == 1005);  // ProbeRead by ordinal

    CHECK(library.Free());
    CHECK(platform.calls().back().args == (std::vector<uint32_t>{0, 0, 0}));
    CHECK(platform.reservationCount() == 0);
}

void RefusedAttachIsDetachedAndReleased() {
    std::fprintf(stderr, "probe DLL refusing the attach\n");
    vela::NativePlatform platform;
    vela::MemoryLibrary library(platform);
    CHECK(!library.Load(ReadFile(VELA_PROBE_REFUSE_DLL)));
    CHECK(library.Handle() == 0);
    CHECK(platform.calls().size() == 2);
    if (platform.calls().size() == 2) {
        CHECK(platform.calls()[0].result == 0);
        CHECK(platform.calls()[1].address == platform.calls()[0].address);
        CHECK(platform.calls()[1].args == (std::vector<uint32_t>{0, 0, 0}));
    }
    CHECK(platform.reservationCount() == 0);
}

// The skin library image runs too: SkinH_AttachRes accepts a ".SHE" block,
// refuses anything else, and counts attaches in a relocated global.
void SkinLibraryRuns(bool elsewhere) {
    std::fprintf(stderr, "skin library %s\n", elsewhere ? "away from its base" : "at its base");
    vela::NativePlatform platform;
    platform.RefusePreferredAddresses(elsewhere);
    vela::MemoryLibrary library(platform);
    CHECK(library.Load(ReadFile(VELA_SKIN_LIBRARY_DLL)));
    if (library.Handle() == 0) return;
    const std::vector<uint8_t> data = ReadFile(VELA_SKIN_DATA);
    CHECK(data.size() > 4 && std::equal(data.begin(), data.begin() + 4, ".SHE"));
    const auto size = static_cast<uint32_t>(data.size());
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data.data()));
    const char other[] = "QSS?";
    const auto otherAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(other));
    CHECK(CallExport(platform, library, "SkinH_AttachRes", {address, size, 0, 0, 0, 0}) == 1);
    CHECK(CallExport(platform, library, "SkinH_AttachRes", {otherAddress, 4, 0, 0, 0, 0}) == 0);
    CHECK(CallExport(platform, library, "SkinH_AttachRes", {0, 0, 0, 0, 0, 0}) == 0);
    uint32_t attaches = 0;
    std::memcpy(&attaches, reinterpret_cast<const void*>(library.Handle() + 0x1100), 4);
    CHECK(attaches == 1);
}

}  // namespace

int main() {
    ProbeRunsMapped(false);
    ProbeRunsMapped(true);
    RefusedAttachIsDetachedAndReleased();
    SkinLibraryRuns(false);
    SkinLibraryRuns(true);
    std::fprintf(stderr, "%d failed checks\n", failures);
    return failures == 0 ? 0 : 1;
}
