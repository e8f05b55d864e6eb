#include "skin/pe_image_writer.h"

#include <algorithm>
#include <map>

namespace vela {
namespace {

constexpr uint32_t kNtOffset = 0x80;
constexpr uint32_t kNtHeadersSize = 248;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kHeadersSize = 0x400;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kOptional = kNtOffset + 24;

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

void Append(std::vector<uint8_t>& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

struct SectionData {
    std::string name;
    std::vector<uint8_t> bytes;
    uint32_t characteristics;
    uint32_t rva;
};

std::vector<uint8_t> ExportSection(const PeImagePlan& plan, uint32_t rva) {
    std::vector<size_t> named;
    for (size_t i = 0; i < plan.exports.size(); ++i) {
        if (!plan.exports[i].name.empty()) named.push_back(i);
    }
    std::sort(named.begin(), named.end(),
              [&](size_t a, size_t b) { return plan.exports[a].name < plan.exports[b].name; });
    const auto functions = static_cast<uint32_t>(plan.exports.size());
    const auto names = static_cast<uint32_t>(named.size());
    const uint32_t functionTable = 40;
    const uint32_t nameTable = functionTable + 4 * functions;
    const uint32_t ordinalTable = nameTable + 4 * names;
    std::vector<uint8_t> out(ordinalTable + 2 * names);
    PutU32(out, 12, rva + static_cast<uint32_t>(out.size()));
    Append(out, plan.name);
    PutU32(out, 16, plan.ordinalBase);
    PutU32(out, 20, functions);
    PutU32(out, 24, names);
    PutU32(out, 28, rva + functionTable);
    PutU32(out, 32, rva + nameTable);
    PutU32(out, 36, rva + ordinalTable);
    for (uint32_t i = 0; i < functions; ++i)
        PutU32(out, functionTable + 4 * i, plan.exports[i].rva);
    // The name strings follow one another in the order of the name table.
    for (uint32_t i = 0; i < names; ++i) {
        PutU32(out, nameTable + 4 * i, rva + static_cast<uint32_t>(out.size()));
        PutU16(out, ordinalTable + 2 * i, static_cast<uint16_t>(named[i]));
        Append(out, plan.exports[named[i]].name);
    }
    return out;
}

std::vector<uint8_t> ImportSection(const PeImagePlan& plan, uint32_t rva) {
    const auto count = static_cast<uint32_t>(plan.imports.size());
    std::vector<uint8_t> out((count + 1) * 20);
    for (uint32_t i = 0; i < count; ++i) {
        const PeImport& import = plan.imports[i];
        const auto thunks = static_cast<uint32_t>(import.procedures.size() + 1);
        const auto lookup = static_cast<uint32_t>(out.size());
        const uint32_t first = lookup + 4 * thunks;
        out.resize(first + 4 * thunks);
        PutU32(out, i * 20, rva + lookup);
        PutU32(out, i * 20 + 12, rva + static_cast<uint32_t>(out.size()));
        PutU32(out, i * 20 + 16, rva + first);
        Append(out, import.library);
        for (size_t p = 0; p < import.procedures.size(); ++p) {
            const std::string& procedure = import.procedures[p];
            uint32_t entry;
            if (!procedure.empty() && procedure[0] == '#') {
                entry = 0x80000000u | static_cast<uint32_t>(std::stoul(procedure.substr(1)));
            } else {
                if (out.size() % 2) out.push_back(0);
                entry = rva + static_cast<uint32_t>(out.size());
                out.insert(out.end(), {0, 0});  // hint
                Append(out, procedure);
            }
            PutU32(out, lookup + 4 * p, entry);
            PutU32(out, first + 4 * p, entry);
        }
    }
    return out;
}

std::vector<uint8_t> RelocationSection(const PeImagePlan& plan) {
    std::map<uint32_t, std::vector<uint16_t>> pages;
    for (uint32_t rva : plan.relocations) {
        pages[rva & ~0xFFFu].push_back(static_cast<uint16_t>(0x3000 | (rva & 0xFFF)));
    }
    std::vector<uint8_t> out;
    for (auto& [page, entries] : pages) {
        if (entries.size() % 2) entries.push_back(0);  // blocks keep 32-bit alignment
        const size_t head = out.size();
        out.resize(head + 8 + 2 * entries.size());
        PutU32(out, head, page);
        PutU32(out, head + 4, static_cast<uint32_t>(8 + 2 * entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) PutU16(out, head + 8 + 2 * i, entries[i]);
    }
    return out;
}

}  // namespace

void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t PeImage::FileOffset(uint32_t rva) const {
    for (const auto& s : sections) {
        if (rva >= s.rva && rva - s.rva < s.size) return s.fileOffset + (rva - s.rva);
    }
    return 0;
}

PeImage WritePeImage(const PeImagePlan& plan) {
    PeImage image;
    std::vector<SectionData> sections;
    uint32_t rva = kPeCodeRva;
    auto add = [&](std::string name, std::vector<uint8_t> bytes, uint32_t characteristics) {
        const uint32_t at = rva;
        rva = RoundUp(rva + std::max<uint32_t>(static_cast<uint32_t>(bytes.size()), 1),
                      kSectionAlignment);
        sections.push_back({std::move(name), std::move(bytes), characteristics, at});
        return at;
    };
    add(".text", plan.code, 0xE0000020);  // code and its data: read, write, execute
    if (!plan.exports.empty())
        image.exportDirectory = add(".edata", ExportSection(plan, rva), 0x40000040);
    if (!plan.imports.empty())
        image.importDirectory = add(".idata", ImportSection(plan, rva), 0xC0000040);
    if (!plan.relocations.empty()) {
        image.relocationDirectory = add(".reloc", RelocationSection(plan), 0x42000040);
    }
    const uint32_t sizeOfImage = rva;

    std::vector<uint8_t>& out = image.bytes;
    out.assign(kHeadersSize, 0);
    image.ntHeaders = kNtOffset;
    image.sectionTable = kNtOffset + kNtHeadersSize;
    PutU16(out, 0, 0x5A4D);
    PutU32(out, 60, kNtOffset);
    PutU32(out, kNtOffset, 0x4550);
    PutU16(out, kNtOffset + 4, 0x14C);  // i386
    PutU16(out, kNtOffset + 6, static_cast<uint16_t>(sections.size()));
    PutU16(out, kNtOffset + 20, 224);
    PutU16(out, kNtOffset + 22, plan.characteristics);
    PutU16(out, kOptional, 0x10B);
    PutU32(out, kOptional + 4, RoundUp(static_cast<uint32_t>(plan.code.size()), kFileAlignment));
    PutU32(out, kOptional + 16, plan.entryPoint);
    PutU32(out, kOptional + 20, kPeCodeRva);
    PutU32(out, kOptional + 28, plan.imageBase);
    PutU32(out, kOptional + 32, kSectionAlignment);
    PutU32(out, kOptional + 36, kFileAlignment);
    PutU16(out, kOptional + 40, 4);  // operating system version 4.0
    PutU16(out, kOptional + 48, 4);  // subsystem version 4.0
    PutU32(out, kOptional + 56, sizeOfImage);
    PutU32(out, kOptional + 60, kHeadersSize);
    PutU16(out, kOptional + 68, 2);       // Windows GUI
    PutU16(out, kOptional + 70, 0x0040);  // relocatable
    PutU32(out, kOptional + 72, 0x100000);
    PutU32(out, kOptional + 76, 0x1000);
    PutU32(out, kOptional + 80, 0x100000);
    PutU32(out, kOptional + 84, 0x1000);
    PutU32(out, kOptional + 92, 16);
    auto directory = [&](int index, uint32_t address, uint32_t size) {
        PutU32(out, kOptional + 96 + 8 * index, address);
        PutU32(out, kOptional + 100 + 8 * index, size);
    };

    for (size_t i = 0; i < sections.size(); ++i) {
        const SectionData& s = sections[i];
        const uint32_t header = image.sectionTable + static_cast<uint32_t>(i) * kSectionHeaderSize;
        const auto size = static_cast<uint32_t>(s.bytes.size());
        const auto fileOffset = static_cast<uint32_t>(out.size());
        const uint32_t sectionRva = s.rva;
        std::copy(s.name.begin(), s.name.end(), out.begin() + header);
        PutU32(out, header + 8, size);
        PutU32(out, header + 12, sectionRva);
        PutU32(out, header + 16, RoundUp(size, kFileAlignment));
        PutU32(out, header + 20, fileOffset);
        PutU32(out, header + 36, s.characteristics);
        out.insert(out.end(), s.bytes.begin(), s.bytes.end());
        out.resize(fileOffset + RoundUp(size, kFileAlignment), 0);
        image.sections.push_back({s.name, sectionRva, fileOffset, size});
        if (s.name == ".edata") directory(0, sectionRva, size);
        if (s.name == ".idata") directory(1, sectionRva, size);
        if (s.name == ".reloc") directory(5, sectionRva, size);
    }
    return image;
}

}  // namespace vela
