#include "skin/memory_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "skin/buffer_platform.h"
#include "skin/pe_image_writer.h"

namespace vela {
namespace {

constexpr uint32_t kBase = 0x10000000;
constexpr uint32_t kEntry = 0x1000;
constexpr uint32_t kAlpha = 0x1010;
constexpr uint32_t kBeta = 0x1020;
constexpr uint32_t kUnnamed = 0x1030;
constexpr uint32_t kPointers = 0x1100;  // two absolute addresses the relocations move
constexpr uint32_t kTarget = 0x1180;

// Offsets inside the NT headers and a section header, for patching.
constexpr uint32_t kNumberOfSections = 6;
constexpr uint32_t kCharacteristics = 22;
constexpr uint32_t kOptionalMagic = 24;
constexpr uint32_t kEntryPoint = 40;
constexpr uint32_t kSectionAlignment = 56;
constexpr uint32_t kSizeOfImage = 80;
constexpr uint32_t kDirectory = 120;  // + 8 * index
constexpr uint32_t kSectionVirtualSize = 8;
constexpr uint32_t kSectionRawSize = 16;
constexpr uint32_t kSectionRawPointer = 20;

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// A DLL with an entry point, named and unnamed exports (ordinal base 5), imports
// by name and by ordinal, and two relocated pointers.
PeImagePlan SamplePlan() {
    PeImagePlan plan;
    plan.imageBase = kBase;
    plan.code.assign(0x200, 0x90);
    PutU32(plan.code, kPointers - kPeCodeRva, kBase + kTarget);
    PutU32(plan.code, kPointers + 4 - kPeCodeRva, kBase + kTarget + 4);
    plan.entryPoint = kEntry;
    plan.ordinalBase = 5;
    plan.exports = {{"Alpha", kAlpha}, {"Beta", kBeta}, {"", kUnnamed}};
    plan.imports = {{"KERNEL32.dll", {"GetTickCount", "#17"}}, {"msvcrt.dll", {"malloc"}}};
    plan.relocations = {kPointers, kPointers + 4};
    return plan;
}

class MemoryLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        tick_ = platform_.AddHostSymbol("kernel32.dll", "GetTickCount", Returns(1));
        ordinal17_ = platform_.AddHostSymbol("KERNEL32.DLL", "Seventeen", Returns(1), 17);
        malloc_ = platform_.AddHostSymbol("MSVCRT.dll", "malloc", Returns(1));
    }
    static HostFunction Returns(uint32_t value) {
        return [value](std::span<const uint32_t>) { return value; };
    }
    // Host procedures for every import of the sample image, on a fresh platform.
    static void ProvideSampleImports(BufferPlatform& platform) {
        platform.AddHostSymbol("KERNEL32.dll", "GetTickCount", Returns(1), 17);
        platform.AddHostSymbol("msvcrt.dll", "malloc", Returns(1));
    }
    // The thunk of import `index` (counting all procedures in order) in memory.
    uint32_t Thunk(const PeImage& image, uint32_t module, int descriptor, int index) {
        const auto memory = platform_.Bytes(module);
        const uint32_t first = Get32(memory, image.importDirectory + 20 * descriptor + 16);
        return Get32(memory, first + 4 * index);
    }

    BufferPlatform platform_;
    MemoryLibrary library_{platform_};
    uint32_t tick_ = 0, ordinal17_ = 0, malloc_ = 0;
};

TEST_F(MemoryLibraryTest, MapsAtThePreferredBaseResolvesImportsAndAttaches) {
    const PeImage image = WritePeImage(SamplePlan());
    ASSERT_TRUE(library_.Load(image.bytes));

    EXPECT_EQ(library_.Handle(), kBase);
    const auto memory = platform_.Bytes(kBase);
    // Relocations were walked with a difference of 0.
    EXPECT_EQ(Get32(memory, kPointers), kBase + kTarget);
    EXPECT_EQ(Get32(memory, kPointers + 4), kBase + kTarget + 4);
    // Headers up to the end of the section table, and every section, are copied.
    const size_t headers = image.sectionTable + 40 * image.sections.size();
    EXPECT_TRUE(std::equal(image.bytes.begin(), image.bytes.begin() + headers, memory.begin()));
    for (const auto& s : image.sections) {
        if (s.name == ".idata") continue;  // its thunks are overwritten
        SCOPED_TRACE(s.name);
        EXPECT_TRUE(std::equal(image.bytes.begin() + s.fileOffset,
                               image.bytes.begin() + s.fileOffset + s.size,
                               memory.begin() + s.rva));
    }
    EXPECT_EQ(Thunk(image, kBase, 0, 0), tick_);
    EXPECT_EQ(Thunk(image, kBase, 0, 1), ordinal17_);
    EXPECT_EQ(Thunk(image, kBase, 1, 0), malloc_);
    ASSERT_EQ(platform_.calls().size(), 1u);
    EXPECT_EQ(platform_.calls()[0].address, kBase + kEntry);
    EXPECT_EQ(platform_.calls()[0].args, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(library_.EntryPoint(), kBase + kEntry);
}

TEST_F(MemoryLibraryTest, MappedElsewhereEveryHighLowMovesByTheDifference) {
    platform_.Occupy(kBase, 0x10000);
    const PeImage image = WritePeImage(SamplePlan());
    ASSERT_TRUE(library_.Load(image.bytes));

    const uint32_t module = library_.Handle();
    ASSERT_NE(module, kBase);
    const auto memory = platform_.Bytes(module);
    EXPECT_EQ(Get32(memory, kPointers), module + kTarget);
    EXPECT_EQ(Get32(memory, kPointers + 4), module + kTarget + 4);
    // Nothing else in the code section changed.
    const auto& text = image.sections[0];
    for (uint32_t i = 0; i < text.size; ++i) {
        if (text.rva + i >= kPointers && text.rva + i < kPointers + 8) continue;
        ASSERT_EQ(memory[text.rva + i], image.bytes[text.fileOffset + i]) << i;
    }
    EXPECT_EQ(library_.GetProc("Alpha"), module + kAlpha);
}

TEST_F(MemoryLibraryTest, ResolverIsAskedFirstAndThePlatformAfterIt) {
    struct Asked {
        std::string library, procedure;
        uint32_t userData;
    };
    std::vector<Asked> asked;
    const ImportResolver resolver = [&](std::string_view library, std::string_view procedure,
                                        uint32_t userData) -> uint32_t {
        asked.push_back({std::string(library), std::string(procedure), userData});
        return procedure == "malloc" ? 0x12345678 : 0;
    };
    const PeImage image = WritePeImage(SamplePlan());
    ASSERT_TRUE(library_.Load(image.bytes, resolver, 77));

    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].library, "KERNEL32.dll");
    EXPECT_EQ(asked[0].procedure, "GetTickCount");
    EXPECT_EQ(asked[1].procedure, "17");  // an ordinal import, in decimal digits
    EXPECT_EQ(asked[2].library, "msvcrt.dll");
    EXPECT_EQ(asked[2].userData, 77u);
    EXPECT_EQ(Thunk(image, kBase, 0, 0), tick_);
    EXPECT_EQ(Thunk(image, kBase, 0, 1), ordinal17_);
    EXPECT_EQ(Thunk(image, kBase, 1, 0), 0x12345678u);
}

TEST_F(MemoryLibraryTest, GetProcFindsExportsByExactNameOrByOrdinal) {
    ASSERT_TRUE(library_.Load(WritePeImage(SamplePlan()).bytes));
    const struct {
        const char* name;
        uint32_t rva;  // 0: not found
    } cases[] = {
        {"Alpha", kAlpha}, {"Beta", kBeta}, {"alpha", 0},
        {"BETA", 0},       {"Alph", 0},     {"Alphaa", 0},
        {"", 0},           {"5", kAlpha},   {"6", kBeta},
        {"7", kUnnamed},   {"4", 0},        {"8", 0},
        {"0", 0},          {"-1", 0},       {"05", 0},
        {"+6", 0},         {"6 ", 0},       {"99999999999999999999", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(library_.GetProc(c.name), c.rva ? kBase + c.rva : 0);
    }
}

TEST_F(MemoryLibraryTest, NamesWithEmbeddedZeroAreNotFound) {
    ASSERT_TRUE(library_.Load(WritePeImage(SamplePlan()).bytes));
    EXPECT_EQ(library_.GetProc(std::string_view("Alpha\0x", 7)), 0u);
}

TEST_F(MemoryLibraryTest, EntryPointReturningZeroIsDetachedAndReleased) {
    platform_.Bind(kBase + kEntry,
                   [](std::span<const uint32_t> args) { return args[1] == 1 ? 0u : 1u; });
    EXPECT_FALSE(library_.Load(WritePeImage(SamplePlan()).bytes));

    EXPECT_EQ(library_.Handle(), 0u);
    EXPECT_EQ(platform_.reservationCount(), 0u);
    ASSERT_EQ(platform_.calls().size(), 2u);
    EXPECT_EQ(platform_.calls()[0].args, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(platform_.calls()[1].address, kBase + kEntry);
    EXPECT_EQ(platform_.calls()[1].args, (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(MemoryLibraryTest, EntryPointIsCalledOnlyForADllWithAnEntryPoint) {
    const struct {
        const char* what;
        uint16_t characteristics;
        uint32_t entryPoint;
    } cases[] = {{"executable without the DLL bit", 0x0102, kEntry},
                 {"DLL without an entry point", 0x2102, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BufferPlatform platform;
        ProvideSampleImports(platform);
        MemoryLibrary library(platform);
        PeImagePlan plan = SamplePlan();
        plan.characteristics = c.characteristics;
        plan.entryPoint = c.entryPoint;
        ASSERT_TRUE(library.Load(WritePeImage(plan).bytes));
        ASSERT_TRUE(library.Free());
        EXPECT_TRUE(platform.calls().empty());
        EXPECT_EQ(platform.reservationCount(), 0u);
    }
}

TEST_F(MemoryLibraryTest, FreeDetachesAndReleasesAndLoadFreesTheEarlierImage) {
    const PeImage image = WritePeImage(SamplePlan());
    ASSERT_TRUE(library_.Load(image.bytes));
    ASSERT_TRUE(library_.Load(image.bytes));  // frees the first mapping, maps again
    EXPECT_EQ(platform_.reservationCount(), 1u);
    ASSERT_EQ(platform_.calls().size(), 3u);  // attach, detach, attach
    EXPECT_EQ(platform_.calls()[1].args, (std::vector<uint32_t>{0, 0, 0}));

    EXPECT_TRUE(library_.Free());
    EXPECT_EQ(platform_.calls().back().args, (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(library_.Handle(), 0u);
    EXPECT_EQ(platform_.reservationCount(), 0u);
    EXPECT_TRUE(library_.Free());  // nothing mapped: nothing to do
    EXPECT_EQ(library_.GetProc("Alpha"), 0u);
    EXPECT_EQ(library_.EntryPoint(), 0u);

    // A failed Load after a successful one leaves the object empty.
    ASSERT_TRUE(library_.Load(image.bytes));
    EXPECT_FALSE(library_.Load(std::span<const uint8_t>(image.bytes).first(63)));
    EXPECT_EQ(library_.Handle(), 0u);
    EXPECT_EQ(platform_.reservationCount(), 0u);
}

TEST_F(MemoryLibraryTest, UnmapRefusesMemoryWithoutSignatures) {
    ASSERT_TRUE(library_.Load(WritePeImage(SamplePlan()).bytes));
    platform_.Bytes(kBase)[0] = 'X';
    EXPECT_FALSE(library_.Free());
    EXPECT_EQ(library_.Handle(), kBase);
    EXPECT_EQ(library_.GetProc("Alpha"), 0u);
    EXPECT_FALSE(library_.UnmapImage(0x12340000));  // not a reservation
}

TEST_F(MemoryLibraryTest, ACopySharesTheMappingAndSurvivesItsRelease) {
    ASSERT_TRUE(library_.Load(WritePeImage(SamplePlan()).bytes));
    MemoryLibrary copy = library_;
    EXPECT_EQ(copy.Handle(), kBase);
    EXPECT_EQ(copy.GetProc("Beta"), kBase + kBeta);
    ASSERT_TRUE(library_.Free());
    // The copy's address is stale: lookups find nothing instead of reading freed memory.
    EXPECT_EQ(copy.GetProc("Beta"), 0u);
    EXPECT_EQ(copy.EntryPoint(), 0u);
    EXPECT_FALSE(copy.Free());
}

TEST_F(MemoryLibraryTest, ReservationCountsOnlyTheLow16BitsOfVirtualSize) {
    PeImagePlan plan = SamplePlan();
    PeImage image = WritePeImage(plan);
    const uint32_t sizeOfImage = Get32(image.bytes, image.ntHeaders + kSizeOfImage);
    // The last section claims 0x10000 + 0x20 bytes: only 0x20 count, so the
    // reservation stays at SizeOfImage.
    const uint32_t last =
        image.sectionTable + 40 * (static_cast<uint32_t>(image.sections.size()) - 1);
    PutU32(image.bytes, last + kSectionVirtualSize, 0x10020);
    ASSERT_TRUE(library_.Load(image.bytes));
    EXPECT_EQ(platform_.Bytes(kBase).size(), sizeOfImage);

    // A section reaching past SizeOfImage enlarges the reservation, rounded
    // up to the section alignment.
    PutU32(image.bytes, last + kSectionVirtualSize, 0x2345);
    ASSERT_TRUE(library_.Load(image.bytes));
    EXPECT_EQ(platform_.Bytes(kBase).size(), image.sections.back().rva + 0x3000);
}

// Every image here must be refused with nothing left reserved and no code run.
TEST_F(MemoryLibraryTest, RefusesMalformedImagesWithoutLeavingMemory) {
    using Patch = std::function<void(PeImage&)>;
    auto nt = [](PeImage& i, uint32_t offset, uint32_t value) {
        PutU32(i.bytes, i.ntHeaders + offset, value);
    };
    auto nt16 = [](PeImage& i, uint32_t offset, uint16_t value) {
        PutU16(i.bytes, i.ntHeaders + offset, value);
    };
    auto section = [](PeImage& i, const char* name, uint32_t offset, uint32_t value) {
        for (size_t s = 0; s < i.sections.size(); ++s) {
            if (i.sections[s].name == name)
                PutU32(i.bytes, i.sectionTable + 40 * s + offset, value);
        }
    };
    auto at = [](PeImage& i, uint32_t rva, uint32_t value) {
        PutU32(i.bytes, i.FileOffset(rva), value);
    };
    const struct {
        const char* what;
        Patch patch;
    } cases[] = {
        {"shorter than a DOS header", [](PeImage& i) { i.bytes.resize(63); }},
        {"empty", [](PeImage& i) { i.bytes.clear(); }},
        {"wrong DOS signature", [](PeImage& i) { i.bytes[1] = 'Y'; }},
        {"NT headers past the end",
         [](PeImage& i) { PutU32(i.bytes, 60, static_cast<uint32_t>(i.bytes.size()) - 247); }},
        {"NT header offset near 4 GiB", [](PeImage& i) { PutU32(i.bytes, 60, 0xFFFFFFF0); }},
        {"wrong NT signature", [&](PeImage& i) { nt(i, 0, 0x4551); }},
        {"not an executable image", [&](PeImage& i) { nt16(i, kCharacteristics, 0x2100); }},
        {"section table past the end", [&](PeImage& i) { nt16(i, kNumberOfSections, 0xFFFF); }},
        {"64-bit optional header", [&](PeImage& i) { nt16(i, kOptionalMagic, 0x20B); }},
        {"section alignment 0", [&](PeImage& i) { nt(i, kSectionAlignment, 0); }},
        {"nothing to reserve",
         [&](PeImage& i) {
             nt16(i, kNumberOfSections, 0);
             nt(i, kSizeOfImage, 0);
         }},
        {"SizeOfImage above the cap",
         [&](PeImage& i) { nt(i, kSizeOfImage, kMaxImageReservation + 1); }},
        {"SizeOfImage near 4 GiB", [&](PeImage& i) { nt(i, kSizeOfImage, 0xFFFFF000); }},
        {"section reaching past 4 GiB", [&](PeImage& i) { section(i, ".text", 12, 0xFFFFF000); }},
        {"headers larger than the reservation",
         [&](PeImage& i) {
             nt16(i, kNumberOfSections, 0);
             nt(i, kSizeOfImage, 0x100);
         }},
        {"section data past the end of the image",
         [&](PeImage& i) { section(i, ".text", kSectionRawPointer, 0xFFFFFF00); }},
        {"section data longer than the image",
         [&](PeImage& i) { section(i, ".reloc", kSectionRawSize, 0x10000); }},
        {"relocations past the memory",
         [&](PeImage& i) { nt(i, kDirectory + 5 * 8 + 4, 0x100000); }},
        {"relocation directory near 4 GiB",
         [&](PeImage& i) { nt(i, kDirectory + 5 * 8, 0xFFFFFFFC); }},
        {"relocation block below 8 bytes",
         [&](PeImage& i) { at(i, i.relocationDirectory + 4, 4); }},
        {"relocation block of size 0", [&](PeImage& i) { at(i, i.relocationDirectory + 4, 0); }},
        {"relocation block past its directory",
         [&](PeImage& i) { at(i, i.relocationDirectory + 4, 0x400); }},
        {"relocation target past the memory",
         [&](PeImage& i) { at(i, i.relocationDirectory, 0x7FFFF000); }},
        {"import descriptors past the memory",
         [&](PeImage& i) { nt(i, kDirectory + 8, 0xFFFFFFF0); }},
        {"import library name past the memory",
         [&](PeImage& i) { at(i, i.importDirectory + 12, 0x7FFFFFFF); }},
        {"import thunks past the memory",
         [&](PeImage& i) { at(i, i.importDirectory + 16, 0x7FFFFFF0); }},
        {"import name past the memory",
         [&](PeImage& i) {
             at(i, Get32(i.bytes, i.FileOffset(i.importDirectory + 16)), 0x7FFFFFF0);
         }},
        {"import name ending past the memory",
         [&](PeImage& i) {
             at(i, Get32(i.bytes, i.FileOffset(i.importDirectory + 16)), 0x7FFFFFFE);
         }},
        {"entry point outside the image", [&](PeImage& i) { nt(i, kEntryPoint, 0x00800000); }},
    };
    const PeImage valid = WritePeImage(SamplePlan());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BufferPlatform platform;
        ProvideSampleImports(platform);
        MemoryLibrary library(platform);
        PeImage image = valid;
        c.patch(image);
        EXPECT_FALSE(library.Load(image.bytes));
        EXPECT_EQ(library.Handle(), 0u);
        EXPECT_EQ(platform.reservationCount(), 0u);
        EXPECT_TRUE(platform.calls().empty());
    }
}

TEST_F(MemoryLibraryTest, UnresolvableImportsRefuseTheImage) {
    const struct {
        const char* what;
        std::vector<PeImport> imports;
    } cases[] = {
        {"unknown library", {{"nosuch.dll", {"GetTickCount"}}}},
        {"unknown procedure", {{"KERNEL32.dll", {"GetTickCount", "ExitProcess"}}}},
        {"unknown ordinal", {{"KERNEL32.dll", {"#18"}}}},
        {"procedure name in other letter case", {{"KERNEL32.dll", {"gettickcount"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PeImagePlan plan = SamplePlan();
        plan.imports = c.imports;
        EXPECT_FALSE(library_.Load(WritePeImage(plan).bytes));
        EXPECT_EQ(platform_.reservationCount(), 0u);
        EXPECT_TRUE(platform_.calls().empty());
    }
}

// One section of 0x1000 bytes of 'A' that ends exactly where the reservation
// ends, with directories patched into it: a text there has no terminator.
PeImage UnterminatedTextImage(uint32_t directory,
                              std::vector<std::pair<uint32_t, uint32_t>> words) {
    PeImagePlan plan;
    plan.imageBase = kBase;
    plan.code.assign(0x1000, 'A');
    for (const auto& [rva, value] : words) PutU32(plan.code, rva - kPeCodeRva, value);
    PeImage image = WritePeImage(plan);
    PutU32(image.bytes, image.ntHeaders + kDirectory + 8 * directory, kPeCodeRva);
    PutU32(image.bytes, image.ntHeaders + kDirectory + 8 * directory + 4, 40);
    return image;
}

TEST_F(MemoryLibraryTest, TextsRunningToTheEndOfTheMemoryAreRejected) {
    // An import library name that never ends.
    PeImage imports = UnterminatedTextImage(1, {{0x1000, 0},
                                                {0x1004, 0},
                                                {0x1008, 0},
                                                {0x100C, 0x1F00},
                                                {0x1010, 0x1100},
                                                {0x1014, 0},
                                                {0x1018, 0},
                                                {0x101C, 0},
                                                {0x1020, 0},
                                                {0x1024, 0},
                                                {0x1100, 0}});
    ASSERT_EQ(platform_.Bytes(0).size(), 0u);
    const ImportResolver anything = [](std::string_view, std::string_view, uint32_t) { return 1u; };
    EXPECT_FALSE(library_.Load(imports.bytes, anything));
    EXPECT_EQ(platform_.reservationCount(), 0u);

    // An export name that never ends: the image maps, the name is not found.
    PeImage exports = UnterminatedTextImage(0, {{0x1010, 1},
                                                {0x1014, 1},
                                                {0x1018, 1},
                                                {0x101C, 0x1100},
                                                {0x1020, 0x1104},
                                                {0x1024, 0x1108},
                                                {0x1100, 0x1200},
                                                {0x1104, 0x1F00},
                                                {0x1108, 0}});
    ASSERT_TRUE(library_.Load(exports.bytes));
    EXPECT_EQ(library_.GetProc("AAAA"), 0u);
    EXPECT_EQ(library_.GetProc("1"), kBase + 0x1200);
}

// Export tables that point outside the image, or at themselves, yield no address.
TEST_F(MemoryLibraryTest, GetProcStaysInsideAHostileExportTable) {
    const PeImage valid = WritePeImage(SamplePlan());
    const uint32_t dir = valid.exportDirectory;
    const struct {
        const char* what;
        uint32_t rva;  // a field of the export directory or its tables
        uint32_t value;
        const char* name;
    } cases[] = {
        {"directory past the memory", 0, 0, "Alpha"},  // patched below through the NT headers
        {"function table past the memory", dir + 28, 0x7FFFFFF0, "Alpha"},
        {"function table past the memory, by ordinal", dir + 28, 0x7FFFFFF0, "5"},
        {"name table past the memory", dir + 32, 0x7FFFFFF0, "Alpha"},
        {"ordinal table past the memory", dir + 36, 0x7FFFFFF0, "Alpha"},
        {"first name past the memory", Get32(valid.bytes, valid.FileOffset(dir + 32)), 0x7FFFFFF0,
         "Alpha"},
        {"huge name count", dir + 24, 0xFFFFFFFF, "NoSuchName"},
        {"huge function count", dir + 20, 0xFFFFFFFF, "900"},
        {"function outside the image", Get32(valid.bytes, valid.FileOffset(dir + 28)), 0x7FFFFFF0,
         "Alpha"},
        {"function inside the export directory (a forwarder)",
         Get32(valid.bytes, valid.FileOffset(dir + 28)), dir + 0x50, "Alpha"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BufferPlatform platform;
        ProvideSampleImports(platform);
        MemoryLibrary library(platform);
        PeImage image = valid;
        if (c.rva == 0) {
            PutU32(image.bytes, image.ntHeaders + kDirectory, 0x7FFFFFF0);
        } else {
            PutU32(image.bytes, image.FileOffset(c.rva), c.value);
        }
        ASSERT_TRUE(library.Load(image.bytes));
        EXPECT_EQ(library.GetProc(c.name), 0u);
    }
}

}  // namespace
}  // namespace vela
