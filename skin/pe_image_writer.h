#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes small 32-bit Windows DLL images: one code section at a fixed RVA and,
// as needed, an export, an import and a relocation section. Used at build time
// for the skin library image and by the loader's tests, which patch single
// fields of a valid image to make hostile ones.

namespace vela {

inline constexpr uint32_t kPeCodeRva = 0x1000;

struct PeExport {
    std::string name;  // empty: exported by ordinal only
    uint32_t rva = 0;
};

struct PeImport {
    std::string library;
    std::vector<std::string> procedures;  // "#12" imports ordinal 12
};

struct PeImagePlan {
    uint32_t imageBase = 0x10000000;
    uint16_t characteristics = 0x2102;  // executable image, 32-bit machine, DLL
    std::vector<uint8_t> code;          // the code section, placed at kPeCodeRva
    uint32_t entryPoint = 0;            // RVA; 0 for none
    std::string name = "image.dll";
    uint32_t ordinalBase = 1;
    std::vector<PeExport> exports;  // ordinals follow this order
    std::vector<PeImport> imports;
    std::vector<uint32_t> relocations;  // RVAs of 32-bit absolute addresses
};

struct PeImageSection {
    std::string name;
    uint32_t rva = 0;
    uint32_t fileOffset = 0;
    uint32_t size = 0;
};

struct PeImage {
    std::vector<uint8_t> bytes;
    uint32_t ntHeaders = 0;     // file offset of the "PE" signature
    uint32_t sectionTable = 0;  // file offset of the first section header
    std::vector<PeImageSection> sections;
    uint32_t exportDirectory = 0;  // RVAs; 0 when absent
    uint32_t importDirectory = 0;
    uint32_t relocationDirectory = 0;

    // File offset of an RVA inside a section's data; 0 when none holds it.
    uint32_t FileOffset(uint32_t rva) const;
};

PeImage WritePeImage(const PeImagePlan& plan);

// Little-endian stores into a byte vector, for writing and patching images.
void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

}  // namespace vela
