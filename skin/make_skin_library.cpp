// Writes the skin library image: a small DLL whose export SkinH_AttachRes takes
// the skin data block. The machine code is real 32-bit x86, so the image can be
// mapped and run in a 32-bit process; on the desktop the buffer platform binds
// the export to the host function that applies the style sheet.

#include <cstdio>
#include <vector>

#include "skin/pe_image_writer.h"

namespace {

constexpr uint32_t kImageBase = 0x10000000;
constexpr uint32_t kDllMain = 0x1000;
constexpr uint32_t kAttachRes = 0x1010;
constexpr uint32_t kAttach = 0x1040;
constexpr uint32_t kAttachEx = 0x1050;
constexpr uint32_t kDetach = 0x1060;
constexpr uint32_t kAttachCount = 0x1100;  // 32-bit counter of successful attaches

void Place(std::vector<uint8_t>& code, uint32_t rva, std::vector<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), code.begin() + (rva - vela::kPeCodeRva));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.dll>\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> code(kAttachCount + 4 - vela::kPeCodeRva, 0xCC);
    // DllMain(instance, reason, reserved): mov eax, 1; ret 12
    Place(code, kDllMain, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00});
    // SkinH_AttachRes(data, length, password, 0, 0, 0): accepts a block that
    // starts with ".SHE" and counts the attach.
    const uint32_t counter = kImageBase + kAttachCount;
    Place(code, kAttachRes,
          {
              0x8B,
              0x44,
              0x24,
              0x04,  // mov eax, [esp+4]
              0x85,
              0xC0,  // test eax, eax
              0x74,
              0x16,  // jz fail
              0x81,
              0x38,
              0x2E,
              0x53,
              0x48,
              0x45,  // cmp dword [eax], ".SHE"
              0x75,
              0x0E,  // jne fail
              0xFF,
              0x05,  // inc dword [counter]
              static_cast<uint8_t>(counter),
              static_cast<uint8_t>(counter >> 8),
              static_cast<uint8_t>(counter >> 16),
              static_cast<uint8_t>(counter >> 24),
              0xB8,
              0x01,
              0x00,
              0x00,
              0x00,  // mov eax, 1
              0xC2,
              0x18,
              0x00,  // ret 24
              0x31,
              0xC0,  // fail: xor eax, eax
              0xC2,
              0x18,
              0x00,  // ret 24
          });
    // SkinH_Attach(): no built-in skin without a data block: xor eax, eax; ret
    Place(code, kAttach, {0x31, 0xC0, 0xC3});
    // SkinH_AttachEx(path, password): skin files are not read: xor eax, eax; ret 8
    Place(code, kAttachEx, {0x31, 0xC0, 0xC2, 0x08, 0x00});
    // SkinH_Detach(): mov eax, 1; ret
    Place(code, kDetach, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3});
    Place(code, kAttachCount, {0, 0, 0, 0});

    vela::PeImagePlan plan;
    plan.imageBase = kImageBase;
    plan.code = std::move(code);
    plan.entryPoint = kDllMain;
    plan.name = "vela_skin.dll";
    plan.exports = {{"SkinH_Attach", kAttach},
                    {"SkinH_AttachEx", kAttachEx},
                    {"SkinH_AttachRes", kAttachRes},
                    {"SkinH_Detach", kDetach}};
    plan.relocations = {kAttachRes + 18};
    const vela::PeImage image = vela::WritePeImage(plan);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    const bool written =
        std::fwrite(image.bytes.data(), 1, image.bytes.size(), out) == image.bytes.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
