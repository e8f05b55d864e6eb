#include "skin/buffer_platform.h"

#include <algorithm>
#include <cstring>

namespace vela {
namespace {

constexpr uint64_t kPageSize = 0x1000;
constexpr uint32_t kSymbolSpacing = 0x10;

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool BufferPlatform::IsFree(uint64_t address, uint64_t size) const {
    if (address < kLowestAddress || address + size > kHighestAddress) return false;
    auto overlaps = [&](uint64_t start, uint64_t length) {
        return address < start + length && start < address + size;
    };
    for (const auto& [start, reservation] : reservations_) {
        if (overlaps(start, reservation.size)) return false;
    }
    for (const auto& [start, length] : occupied_) {
        if (overlaps(start, length)) return false;
    }
    return true;
}

uint32_t BufferPlatform::Reserve(uint32_t address, uint32_t size) {
    if (size == 0 || size > reservationLimit_) return 0;
    const uint64_t length = RoundUp(size, kPageSize);
    uint64_t at = address;
    if (at != 0) {
        if (at % kGranularity != 0 || !IsFree(at, length)) return 0;
    } else {
        // First fit, stepping over whatever blocks the candidate.
        at = kLowestAddress;
        while (!IsFree(at, length)) {
            at += kGranularity;
            if (at + length > kHighestAddress) return 0;
        }
    }
    std::unique_ptr<uint8_t, FreeDeleter> bytes(static_cast<uint8_t*>(std::calloc(length, 1)));
    if (!bytes) return 0;
    reservations_.emplace(static_cast<uint32_t>(at),
                          Reservation{static_cast<uint32_t>(length), std::move(bytes)});
    return static_cast<uint32_t>(at);
}

bool BufferPlatform::Release(uint32_t address) { return reservations_.erase(address) == 1; }

std::span<uint8_t> BufferPlatform::Bytes(uint32_t address) {
    const auto it = reservations_.find(address);
    if (it == reservations_.end()) return {};
    return {it->second.bytes.get(), it->second.size};
}

std::span<uint8_t> BufferPlatform::View(uint32_t address, uint32_t size) {
    auto it = reservations_.upper_bound(address);
    if (it == reservations_.begin()) return {};
    --it;
    const uint64_t offset = address - it->first;
    if (offset > it->second.size || size > it->second.size - offset) return {};
    return {it->second.bytes.get() + offset, size};
}

uint32_t BufferPlatform::Place(std::span<const uint8_t> bytes) {
    const uint32_t address = Reserve(0, static_cast<uint32_t>(std::max<size_t>(bytes.size(), 1)));
    if (address != 0 && !bytes.empty()) {
        std::memcpy(Bytes(address).data(), bytes.data(), bytes.size());
    }
    return address;
}

void BufferPlatform::Occupy(uint32_t address, uint32_t size) {
    occupied_.emplace_back(address, size);
}

uint32_t BufferPlatform::AddHostSymbol(std::string_view library, std::string_view name,
                                       HostFunction function, uint16_t ordinal) {
    auto it = std::find_if(libraries_.begin(), libraries_.end(), [&](const auto& entry) {
        return SameNameIgnoringCase(entry.first, library);
    });
    if (it == libraries_.end()) {
        libraries_.emplace_back(std::string(library), std::vector<Symbol>{});
        it = std::prev(libraries_.end());
    }
    const uint32_t address = nextSymbolAddress_;
    nextSymbolAddress_ += kSymbolSpacing;
    it->second.push_back(Symbol{std::string(name), ordinal, address});
    Bind(address, std::move(function));
    return address;
}

void BufferPlatform::Bind(uint32_t address, HostFunction function) {
    functions_[address] = std::move(function);
}

// A library handle is its position in the table plus one, so 0 stays "none".
const std::vector<BufferPlatform::Symbol>* BufferPlatform::Library(uint32_t handle) const {
    if (handle == 0 || handle > libraries_.size()) return nullptr;
    return &libraries_[handle - 1].second;
}

uint32_t BufferPlatform::LoadLibrary(std::string_view name) {
    for (size_t i = 0; i < libraries_.size(); ++i) {
        if (SameNameIgnoringCase(libraries_[i].first, name)) return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

uint32_t BufferPlatform::GetProcAddress(uint32_t library, std::string_view name) {
    const auto* symbols = Library(library);
    if (symbols == nullptr) return 0;
    for (const auto& symbol : *symbols) {
        if (symbol.name == name) return symbol.address;
    }
    return 0;
}

uint32_t BufferPlatform::GetProcAddressByOrdinal(uint32_t library, uint16_t ordinal) {
    const auto* symbols = Library(library);
    if (symbols == nullptr || ordinal == 0) return 0;
    for (const auto& symbol : *symbols) {
        if (symbol.ordinal == ordinal) return symbol.address;
    }
    return 0;
}

uint32_t BufferPlatform::Call(uint32_t address, std::span<const uint32_t> args) {
    uint32_t result = 0;
    if (const auto it = functions_.find(address); it != functions_.end()) {
        // A copy: the function may bind further functions while it runs.
        const HostFunction function = it->second;
        result = function(args);
    } else if (auto it = reservations_.upper_bound(address);
               it != reservations_.begin() &&
               address - std::prev(it)->first < std::prev(it)->second.size) {
        result = 1;
    }
    calls_.push_back({address, std::vector<uint32_t>(args.begin(), args.end()), result});
    return result;
}

}  // namespace vela
