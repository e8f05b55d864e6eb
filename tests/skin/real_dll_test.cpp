// The loader against real 32-bit DLLs that other toolchains wrote, checked
// against what objdump reads from the same files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "skin/buffer_platform.h"
#include "skin/memory_library.h"

namespace vela {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// What objdump -p and -h tell about one DLL.
struct Dump {
    uint32_t imageBase = 0;
    uint32_t ordinalBase = 0;
    std::vector<uint32_t> exportRvas;                          // by ordinal index
    std::map<std::string, uint32_t> exportNames;               // name to ordinal index
    std::vector<std::pair<std::string, std::string>> imports;  // library, procedure
    std::vector<uint32_t> highLow;
    struct Section {
        std::string name;
        uint32_t size, rva, fileOffset;
    };
    std::vector<Section> sections;
};

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

Dump ReadDump(const fs::path& dll) {
    Dump d;
    const std::string quoted = "'" + dll.string() + "'";
    std::istringstream p(Run(std::string(VELA_OBJDUMP) + " -p " + quoted));
    const std::regex imageBase(R"(^ImageBase\s+([0-9a-fA-F]+))");
    const std::regex ordinalBase(R"(^Ordinal Base\s+(\d+))");
    const std::regex exportRva(R"(^\t\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA)");
    const std::regex exportName(R"(^\t\[\s*(\d+)\] (\S+)$)");
    const std::regex dllName(R"(^\tDLL Name: (\S+))");
    const std::regex importByName(R"(^\t[0-9a-f]+\t\s*\d+\s+(\S+))");
    const std::regex relocation(R"(^\treloc\s+\d+ offset\s+[0-9a-f]+ \[([0-9a-f]+)\] HIGHLOW)");
    std::string line, library;
    bool inNames = false;
    std::smatch m;
    while (std::getline(p, line)) {
        if (line.starts_with("[Ordinal/Name Pointer] Table")) inNames = true;
        if (line.starts_with("PE File Base Relocations")) inNames = false;
        if (std::regex_search(line, m, imageBase)) {
            d.imageBase = std::stoul(m[1], nullptr, 16);
        } else if (std::regex_search(line, m, ordinalBase)) {
            d.ordinalBase = std::stoul(m[1]);
        } else if (std::regex_search(line, m, exportRva)) {
            d.exportRvas.resize(std::stoul(m[1]) + 1);
            d.exportRvas.back() = std::stoul(m[2], nullptr, 16);
        } else if (inNames && std::regex_search(line, m, exportName)) {
            d.exportNames[m[2]] = std::stoul(m[1]);
        } else if (std::regex_search(line, m, dllName)) {
            library = m[1];
        } else if (!library.empty() && std::regex_search(line, m, importByName)) {
            // "<none>" stands for an import by ordinal: its hint column is the ordinal.
            const std::string name = m[1];
            if (name == "<none>") {
                std::istringstream fields(line);
                std::string vma, ordinal;
                fields >> vma >> ordinal;
                d.imports.emplace_back(library, ordinal);
            } else {
                d.imports.emplace_back(library, name);
            }
        } else if (std::regex_search(line, m, relocation)) {
            d.highLow.push_back(std::stoul(m[1], nullptr, 16));
        }
    }
    std::istringstream h(Run(std::string(VELA_OBJDUMP) + " -h " + quoted));
    const std::regex section(
        R"(^\s+\d+ (\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+))");
    while (std::getline(h, line)) {
        if (std::regex_search(line, m, section)) {
            d.sections.push_back(
                {m[1], static_cast<uint32_t>(std::stoul(m[2], nullptr, 16)),
                 static_cast<uint32_t>(std::stoul(m[3], nullptr, 16)) - d.imageBase,
                 static_cast<uint32_t>(std::stoul(m[4], nullptr, 16))});
        }
    }
    return d;
}

std::vector<fs::path> RealDlls() {
    std::vector<fs::path> dlls;
    for (const auto& entry : fs::directory_iterator(VELA_NSIS_PLUGINS)) {
        if (entry.path().extension() == ".dll") dlls.push_back(entry.path());
    }
    std::sort(dlls.begin(), dlls.end());
    dlls.push_back(VELA_ZLIB_DLL);
    dlls.push_back(VELA_PROBE_DLL);
    dlls.push_back(VELA_SKIN_LIBRARY_DLL);
    return dlls;
}

class RealDllTest : public ::testing::TestWithParam<fs::path> {};

// Loads `image` and records every import handed to the resolver; each import
// gets an address of its own, the same in every run.
struct Mapping {
    BufferPlatform platform;
    MemoryLibrary library{platform};
    std::vector<std::pair<std::string, std::string>> asked;
    std::map<std::pair<std::string, std::string>, uint32_t> given;

    bool Load(std::span<const uint8_t> image) {
        return library.Load(image, [this](std::string_view lib, std::string_view proc, uint32_t) {
            asked.emplace_back(std::string(lib), std::string(proc));
            auto [it, fresh] = given.try_emplace(asked.back(), 0);
            if (fresh) it->second = 0x7F000000u + 4 * static_cast<uint32_t>(given.size());
            return it->second;
        });
    }
};

TEST_P(RealDllTest, MapsAsObjdumpReadsIt) {
    const std::vector<uint8_t> image = ReadFile(GetParam());
    ASSERT_FALSE(image.empty()) << GetParam();
    const Dump dump = ReadDump(GetParam());
    ASSERT_NE(dump.imageBase, 0u) << "objdump gave no image base";
    ASSERT_FALSE(dump.exportNames.empty());
    ASSERT_FALSE(dump.highLow.empty());
    ASSERT_FALSE(dump.sections.empty());

    Mapping atBase;
    ASSERT_TRUE(atBase.Load(image));
    const uint32_t base = atBase.library.Handle();
    ASSERT_EQ(base, dump.imageBase);
    EXPECT_EQ(atBase.asked, dump.imports);
    const auto memory = atBase.platform.Bytes(base);
    const uint32_t entryPoint = Get32(memory, Get32(memory, 60) + 40);
    if (entryPoint != 0) {
        ASSERT_EQ(atBase.platform.calls().size(), 1u);
        EXPECT_EQ(atBase.platform.calls()[0].address, base + entryPoint);
        EXPECT_EQ(atBase.platform.calls()[0].args, (std::vector<uint32_t>{0, 1, 0}));
    }

    // At the preferred base every section reads as in the file, except the
    // one holding the import thunks, which were overwritten.
    const uint32_t importDirectory = Get32(memory, Get32(memory, 60) + 128);
    for (const auto& s : dump.sections) {
        if (s.fileOffset == 0 || (importDirectory >= s.rva && importDirectory < s.rva + s.size))
            continue;
        SCOPED_TRACE(s.name);
        const uint32_t size =
            std::min<uint32_t>(s.size, static_cast<uint32_t>(image.size()) - s.fileOffset);
        EXPECT_TRUE(std::equal(image.begin() + s.fileOffset, image.begin() + s.fileOffset + size,
                               memory.begin() + s.rva));
    }

    // Every export, by name and by ordinal.
    for (const auto& [name, index] : dump.exportNames) {
        ASSERT_LT(index, dump.exportRvas.size());
        EXPECT_EQ(atBase.library.GetProc(name), base + dump.exportRvas[index]) << name;
    }
    for (size_t index = 0; index < dump.exportRvas.size(); ++index) {
        if (dump.exportRvas[index] == 0) continue;
        const std::string ordinal = std::to_string(dump.ordinalBase + index);
        EXPECT_EQ(atBase.library.GetProc(ordinal), base + dump.exportRvas[index]) << ordinal;
    }

    // Away from the preferred base: every HIGHLOW field moves by exactly the
    // difference, and no other byte changes.
    Mapping elsewhere;
    elsewhere.platform.Occupy(dump.imageBase, 0x10000);
    ASSERT_TRUE(elsewhere.Load(image));
    const uint32_t moved = elsewhere.library.Handle();
    ASSERT_NE(moved, base);
    const auto other = elsewhere.platform.Bytes(moved);
    ASSERT_EQ(other.size(), memory.size());
    std::vector<bool> relocated(memory.size());
    for (uint32_t rva : dump.highLow) {
        ASSERT_LE(rva + 4, memory.size());
        EXPECT_EQ(Get32(other, rva) - Get32(memory, rva), moved - base) << std::hex << rva;
        for (int i = 0; i < 4; ++i) relocated[rva + i] = true;
    }
    for (size_t i = 0; i < memory.size(); ++i) {
        if (!relocated[i] && memory[i] != other[i]) {
            ADD_FAILURE() << "byte at RVA " << std::hex << i << " changed without a relocation";
            break;
        }
    }
    EXPECT_TRUE(elsewhere.library.Free());
    EXPECT_EQ(elsewhere.platform.reservationCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Dlls, RealDllTest, ::testing::ValuesIn(RealDlls()), [](const auto& info) {
    std::string name =
        info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
});

TEST(RealDll, SixtyFourBitImagesAreRefused) {
    BufferPlatform platform;
    MemoryLibrary library(platform);
    for (const auto& entry : fs::directory_iterator(VELA_NSIS_PLUGINS_64)) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_FALSE(library.Load(ReadFile(entry.path())));
        EXPECT_EQ(platform.reservationCount(), 0u);
    }
}

TEST(RealDll, ImportsThatNobodyProvidesRefuseARealDll) {
    BufferPlatform platform;
    platform.AddHostSymbol("KERNEL32.dll", "CloseHandle", [](auto) { return 1u; });
    MemoryLibrary library(platform);
    EXPECT_FALSE(library.Load(ReadFile(VELA_ZLIB_DLL)));
    EXPECT_EQ(platform.reservationCount(), 0u);
    EXPECT_TRUE(platform.calls().empty());
}

}  // namespace
}  // namespace vela
