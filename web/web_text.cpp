#include "web_text.h"

#include <cstring>

#include "fetch/encoding.h"

namespace vela {

std::string StoredUtf8(std::string_view gbk) { return GbkTextToUtf8(gbk); }

uint64_t Digest64(std::string_view bytes) {
    // Eight bytes at a time, each word mixed in with multiplications and a
    // rotation, the tail and the length last. Its values are part of the feeds'
    // ids (DatabaseIdentity): it must never change.
    constexpr uint64_t kMul1 = 0x87c37b91114253d5ULL;
    constexpr uint64_t kMul2 = 0x4cf5ad432745937fULL;
    uint64_t hash = 0x9e3779b97f4a7c15ULL;
    const auto mix = [&](uint64_t word) {
        word *= kMul1;
        word = (word << 31) | (word >> 33);
        word *= kMul2;
        hash ^= word;
        hash = ((hash << 27) | (hash >> 37)) * 5 + 0x52dce729;
    };
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        mix(word);
    }
    uint64_t tail = 0;
    for (std::size_t shift = 0; i < bytes.size(); ++i, shift += 8) {
        tail |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << shift;
    }
    mix(tail);
    hash ^= bytes.size();
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ULL;
    hash ^= hash >> 33;
    return hash;
}

std::string Hex64(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

}  // namespace vela
