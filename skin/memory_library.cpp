#include "skin/memory_library.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

namespace vela {
namespace {

// PE/COFF offsets used here, each relative to the structure it belongs to.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr uint32_t kDosNewHeaderOffset = 60;

constexpr uint32_t kNtSignature = 0x4550;  // "PE\0\0"
constexpr uint32_t kNtHeadersSize = 248;   // signature, file header, 32-bit optional header
constexpr uint32_t kNumberOfSections = 6;
constexpr uint32_t kSizeOfOptionalHeader = 20;
constexpr uint32_t kCharacteristics = 22;
constexpr uint32_t kOptionalMagic = 24;
constexpr uint32_t kAddressOfEntryPoint = 40;
constexpr uint32_t kImageBase = 52;
constexpr uint32_t kSectionAlignment = 56;
constexpr uint32_t kSizeOfImage = 80;
constexpr uint32_t kNumberOfRvaAndSizes = 116;
constexpr uint32_t kDataDirectories = 120;

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32OptionalHeaderSize = 224;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDll = 0x2000;

constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kRelocationDirectory = 5;

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionVirtualSize = 8;
constexpr uint32_t kSectionVirtualAddress = 12;
constexpr uint32_t kSectionSizeOfRawData = 16;
constexpr uint32_t kSectionPointerToRawData = 20;

constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kImportName = 12;
constexpr uint32_t kImportFirstThunk = 16;
constexpr uint32_t kImportByOrdinal = 0x80000000;

constexpr uint32_t kRelocationBlockHead = 8;
constexpr uint16_t kRelocationHighLow = 3;

constexpr uint32_t kExportDirectorySize = 40;
constexpr uint32_t kExportBase = 16;
constexpr uint32_t kExportNumberOfFunctions = 20;
constexpr uint32_t kExportNumberOfNames = 24;
constexpr uint32_t kExportAddressOfFunctions = 28;
constexpr uint32_t kExportAddressOfNames = 32;
constexpr uint32_t kExportAddressOfNameOrdinals = 36;

constexpr uint32_t kDllProcessDetach = 0;
constexpr uint32_t kDllProcessAttach = 1;

// Little-endian access to a byte range. Offsets are 64-bit so that adding two
// 32-bit fields of a hostile image cannot wrap; a read outside the range gives
// 0 and marks the reader failed, so a run of reads is checked once at its end.
class Bytes {
public:
    explicit Bytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Fits(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    uint16_t U16(uint64_t offset) {
        if (!Fits(offset, 2)) return Fail();
        return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    uint32_t U32(uint64_t offset) {
        if (!Fits(offset, 4)) return Fail();
        return static_cast<uint32_t>(bytes_[offset]) |
               static_cast<uint32_t>(bytes_[offset + 1]) << 8 |
               static_cast<uint32_t>(bytes_[offset + 2]) << 16 |
               static_cast<uint32_t>(bytes_[offset + 3]) << 24;
    }
    // The zero-terminated text at `offset`; nothing when no terminator follows
    // inside the range.
    std::optional<std::string_view> Text(uint64_t offset) const {
        if (offset >= bytes_.size()) return std::nullopt;
        const auto* start = bytes_.data() + offset;
        const auto* end =
            static_cast<const uint8_t*>(std::memchr(start, 0, bytes_.size() - offset));
        if (end == nullptr) return std::nullopt;
        return std::string_view(reinterpret_cast<const char*>(start), end - start);
    }
    bool ok() const { return ok_; }
    uint64_t size() const { return bytes_.size(); }

private:
    uint32_t Fail() {
        ok_ = false;
        return 0;
    }

    std::span<const uint8_t> bytes_;
    bool ok_ = true;
};

void Put32(std::span<uint8_t> bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Directory {
    uint32_t address = 0;
    uint32_t size = 0;
};

struct Headers {
    uint32_t ntOffset = 0;
    uint16_t numberOfSections = 0;
    uint16_t characteristics = 0;
    uint32_t entryPoint = 0;
    uint32_t imageBase = 0;
    uint32_t sectionAlignment = 0;
    uint32_t sizeOfImage = 0;
    Directory exports;
    Directory imports;
    Directory relocations;

    uint64_t SectionTable() const { return uint64_t{ntOffset} + kNtHeadersSize; }
    uint64_t End() const {
        return SectionTable() + uint64_t{kSectionHeaderSize} * numberOfSections;
    }
    bool IsDll() const { return (characteristics & kDll) != 0; }
};

// The DOS and NT headers of an image or of mapped memory. Only the 32-bit form
// with its full 224-byte optional header is accepted: the section table is
// expected right after it, and a 64-bit image read with 32-bit offsets would
// give meaningless bases and sizes.
std::optional<Headers> ReadHeaders(std::span<const uint8_t> bytes) {
    Bytes in(bytes);
    if (in.size() < kDosHeaderSize || in.U16(0) != kDosMagic) return std::nullopt;
    Headers h;
    h.ntOffset = in.U32(kDosNewHeaderOffset);
    const uint64_t nt = h.ntOffset;
    if (!in.Fits(nt, kNtHeadersSize) || in.U32(nt) != kNtSignature) return std::nullopt;
    if (in.U16(nt + kOptionalMagic) != kPe32Magic ||
        in.U16(nt + kSizeOfOptionalHeader) != kPe32OptionalHeaderSize) {
        return std::nullopt;
    }
    h.numberOfSections = in.U16(nt + kNumberOfSections);
    h.characteristics = in.U16(nt + kCharacteristics);
    h.entryPoint = in.U32(nt + kAddressOfEntryPoint);
    h.imageBase = in.U32(nt + kImageBase);
    h.sectionAlignment = in.U32(nt + kSectionAlignment);
    h.sizeOfImage = in.U32(nt + kSizeOfImage);
    // Directories beyond the count the image declares do not exist.
    const uint32_t directoryCount = in.U32(nt + kNumberOfRvaAndSizes);
    auto directory = [&](uint32_t index) {
        Directory d;
        if (index < directoryCount) {
            d.address = in.U32(nt + kDataDirectories + 8 * index);
            d.size = in.U32(nt + kDataDirectories + 8 * index + 4);
        }
        return d;
    };
    h.exports = directory(kExportDirectory);
    h.imports = directory(kImportDirectory);
    h.relocations = directory(kRelocationDirectory);
    if (!in.ok()) return std::nullopt;
    return h;
}

struct Section {
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
};

Section ReadSection(Bytes& in, const Headers& h, uint32_t index) {
    const uint64_t at = h.SectionTable() + uint64_t{kSectionHeaderSize} * index;
    return {in.U32(at + kSectionVirtualSize), in.U32(at + kSectionVirtualAddress),
            in.U32(at + kSectionSizeOfRawData), in.U32(at + kSectionPointerToRawData)};
}

// The memory an image needs: SizeOfImage, or more when a section reaches past
// it. A section's extent counts only the low 16 bits of its VirtualSize.
std::optional<uint64_t> ReservationSize(Bytes& image, const Headers& h) {
    if (h.sectionAlignment == 0) return std::nullopt;
    uint64_t size = h.sizeOfImage;
    for (uint32_t i = 0; i < h.numberOfSections; ++i) {
        const Section s = ReadSection(image, h, i);
        const uint64_t extent = std::max<uint64_t>(s.sizeOfRawData, s.virtualSize & 0xFFFF);
        const uint64_t end = uint64_t{s.virtualAddress} + extent;
        const uint64_t alignment = h.sectionAlignment;
        size = std::max(size, (end + alignment - 1) / alignment * alignment);
    }
    if (!image.ok() || size == 0 || size > kMaxImageReservation) return std::nullopt;
    return size;
}

// Copies the headers and every section with raw data into the fresh memory.
// Raw data that does not lie wholly inside the image refuses it.
bool CopyImage(std::span<const uint8_t> image, Bytes& in, const Headers& h,
               std::span<uint8_t> memory) {
    const uint64_t headers = h.End();
    if (headers > memory.size()) return false;
    std::copy_n(image.begin(), headers, memory.begin());
    for (uint32_t i = 0; i < h.numberOfSections; ++i) {
        const Section s = ReadSection(in, h, i);
        if (s.sizeOfRawData == 0 || s.virtualAddress == 0) continue;
        if (!in.Fits(s.pointerToRawData, s.sizeOfRawData)) return false;
        // The reservation covers every section's raw extent, see ReservationSize.
        std::copy_n(image.begin() + s.pointerToRawData, s.sizeOfRawData,
                    memory.begin() + s.virtualAddress);
    }
    return in.ok();
}

// Adds `delta` to every HIGHLOW target. The walk stays inside the directory: a
// block shorter than its own head or running past the directory, or a target
// outside the memory, refuses the image, since it could not run correctly.
bool Relocate(std::span<uint8_t> memory, const Headers& h, uint32_t delta) {
    if (h.relocations.size == 0) return true;
    Bytes in(memory);
    const uint64_t start = h.relocations.address;
    const uint64_t end = start + h.relocations.size;
    if (!in.Fits(start, h.relocations.size)) return false;
    for (uint64_t block = start; end - block >= kRelocationBlockHead;) {
        const uint32_t page = in.U32(block);
        const uint32_t blockSize = in.U32(block + 4);
        if (page == 0) break;
        if (blockSize < kRelocationBlockHead || blockSize > end - block) return false;
        const uint32_t entries = (blockSize - kRelocationBlockHead) / 2;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint16_t entry = in.U16(block + kRelocationBlockHead + 2 * i);
            if (entry >> 12 != kRelocationHighLow) continue;
            const uint64_t target = uint64_t{page} + (entry & 0xFFF);
            if (!in.Fits(target, 4)) return false;
            Put32(memory, target, in.U32(target) + delta);
        }
        block += blockSize;
    }
    return in.ok();
}

// Resolves every import in place: the FirstThunk array is read and
// overwritten. The descriptors are read until one with FirstThunk 0; every
// descriptor, thunk and name must lie inside the memory.
bool ResolveImports(ImagePlatform& platform, std::span<uint8_t> memory, const Headers& h,
                    const ImportResolver& resolver, uint32_t userData) {
    if (h.imports.address == 0) return true;
    Bytes in(memory);
    for (uint64_t descriptor = h.imports.address;; descriptor += kImportDescriptorSize) {
        if (!in.Fits(descriptor, kImportDescriptorSize)) return false;
        const uint32_t nameAddress = in.U32(descriptor + kImportName);
        const uint32_t firstThunk = in.U32(descriptor + kImportFirstThunk);
        if (firstThunk == 0) return true;
        const auto library = in.Text(nameAddress);
        if (!library) return false;
        // Copied: the thunk writes below may overwrite the name in memory.
        const std::string libraryName(*library);
        const uint32_t handle = platform.LoadLibrary(libraryName);
        for (uint64_t thunk = firstThunk;; thunk += 4) {
            const uint32_t entry = in.U32(thunk);
            if (!in.ok()) return false;
            if (entry == 0) break;
            uint32_t address = 0;
            if (entry & kImportByOrdinal) {
                const auto ordinal = static_cast<uint16_t>(entry & 0xFFFF);
                if (resolver) address = resolver(libraryName, std::to_string(ordinal), userData);
                if (address == 0 && handle != 0) {
                    address = platform.GetProcAddressByOrdinal(handle, ordinal);
                }
            } else {
                const auto name = in.Text(uint64_t{entry} + 2);
                if (!name) return false;
                const std::string procedure(*name);
                if (resolver) address = resolver(libraryName, procedure, userData);
                if (address == 0 && handle != 0)
                    address = platform.GetProcAddress(handle, procedure);
            }
            if (address == 0) return false;
            Put32(memory, thunk, address);
        }
    }
}

// A plain decimal number names an export by ordinal: the text must read back
// unchanged, so "007" or "+7" are names.
std::optional<int64_t> DecimalNumber(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (std::to_string(value) != text) return std::nullopt;
    return value;
}

}  // namespace

bool MemoryLibrary::Load(std::span<const uint8_t> image, const ImportResolver& resolver,
                         uint32_t userData) {
    if (module_ != 0) Free();
    module_ = MapImage(image, resolver, userData);
    return module_ != 0;
}

uint32_t MemoryLibrary::MapImage(std::span<const uint8_t> image, const ImportResolver& resolver,
                                 uint32_t userData) {
    const auto h = ReadHeaders(image);
    if (!h || (h->characteristics & kExecutableImage) == 0) return 0;
    Bytes in(image);
    if (!in.Fits(0, h->End())) return 0;
    const auto size = ReservationSize(in, *h);
    if (!size) return 0;

    const auto reserved = static_cast<uint32_t>(*size);
    uint32_t memory = platform_->Reserve(h->imageBase, reserved);
    if (memory == 0) memory = platform_->Reserve(0, reserved);
    if (memory == 0) return 0;
    const std::span<uint8_t> bytes = platform_->Bytes(memory);
    auto refuse = [&] {
        platform_->Release(memory);
        return 0u;
    };
    if (bytes.size() < reserved) return refuse();
    const std::span<uint8_t> mapped = bytes.first(reserved);

    if (!CopyImage(image, in, *h, mapped) || !Relocate(mapped, *h, memory - h->imageBase) ||
        !ResolveImports(*platform_, mapped, *h, resolver, userData)) {
        return refuse();
    }
    if (h->IsDll() && h->entryPoint != 0) {
        if (h->entryPoint >= reserved) return refuse();
        const uint32_t entry = memory + h->entryPoint;
        const uint32_t attach[] = {0, kDllProcessAttach, 0};
        if (platform_->Call(entry, attach) == 0) {
            const uint32_t detach[] = {0, kDllProcessDetach, 0};
            platform_->Call(entry, detach);
            return refuse();
        }
    }
    return memory;
}

bool MemoryLibrary::Free() {
    if (module_ != 0 && UnmapImage(module_)) module_ = 0;
    return module_ == 0;
}

bool MemoryLibrary::UnmapImage(uint32_t memory) {
    const std::span<uint8_t> bytes = platform_->Bytes(memory);
    const auto h = ReadHeaders(bytes);
    if (!h) return false;
    // The detach call goes only to an entry point that exists and lies inside
    // the image.
    if (h->IsDll() && h->entryPoint != 0 && h->entryPoint < bytes.size()) {
        const uint32_t detach[] = {0, kDllProcessDetach, 0};
        platform_->Call(memory + h->entryPoint, detach);
    }
    return platform_->Release(memory);
}

uint32_t MemoryLibrary::GetProc(std::string_view name) const {
    if (module_ == 0) return 0;
    const std::span<uint8_t> bytes = platform_->Bytes(module_);
    const auto h = ReadHeaders(bytes);
    if (!h || h->exports.size == 0) return 0;
    Bytes in(bytes);
    const uint64_t directory = h->exports.address;
    if (!in.Fits(directory, kExportDirectorySize)) return 0;
    const uint32_t base = in.U32(directory + kExportBase);
    const uint32_t functionCount = in.U32(directory + kExportNumberOfFunctions);
    const uint32_t nameCount = in.U32(directory + kExportNumberOfNames);
    const uint32_t functions = in.U32(directory + kExportAddressOfFunctions);
    const uint32_t names = in.U32(directory + kExportAddressOfNames);
    const uint32_t ordinals = in.U32(directory + kExportAddressOfNameOrdinals);

    // An export's address must lie inside the image and outside the export
    // directory: an address inside it is a forwarder text naming another
    // library's function, not code, and calling it would run that text.
    auto function = [&](uint64_t index) -> uint32_t {
        const uint32_t rva = in.U32(uint64_t{functions} + 4 * index);
        if (!in.ok() || rva == 0 || rva >= bytes.size()) return 0;
        if (rva >= h->exports.address && rva - h->exports.address < h->exports.size) return 0;
        return module_ + rva;
    };

    if (const auto number = DecimalNumber(name)) {
        const int64_t index = *number - int64_t{base};
        if (index < 0 || index >= int64_t{functionCount}) return 0;
        return function(static_cast<uint64_t>(index));
    }

    // The names are taken to lie one after another in the order of the name
    // table, as linkers write them: only the table's first entry is read.
    if (nameCount == 0) return 0;
    uint64_t text = in.U32(names);
    uint64_t ordinal = ordinals;
    for (uint32_t i = 0; i < nameCount; ++i) {
        const auto exported = in.Text(text);
        const uint16_t index = in.U16(ordinal);
        if (!exported || !in.ok()) return 0;
        if (index < functionCount && *exported == name) {
            if (const uint32_t address = function(index)) return address;
            if (!in.ok()) return 0;
        }
        text += exported->size() + 1;
        ordinal += 2;
    }
    return 0;
}

uint32_t MemoryLibrary::EntryPoint() const {
    if (module_ == 0) return 0;
    Bytes in(platform_->Bytes(module_));
    const uint32_t ntOffset = in.U32(kDosNewHeaderOffset);
    const uint32_t entry = in.U32(uint64_t{ntOffset} + kAddressOfEntryPoint);
    return in.ok() ? module_ + entry : 0;
}

}  // namespace vela
