#include "web_text.h"

#include <cstring>

#include "fetch/encoding.h"
#include "fetch/utf8_decode.h"

namespace vela {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string StoredUtf8(std::string_view gbk) { return GbkTextToUtf8(gbk); }

void AppendEscaped(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size() + utf8.size() / 8);
    std::size_t i = 0;
    while (i < utf8.size()) {
        // A run of bytes that stay as they are goes out in one piece: printable
        // ASCII without markup, and well-formed UTF-8 sequences of allowed code
        // points (checked one by one, since most titles are Chinese).
        std::size_t run = i;
        for (;;) {
            if (run == utf8.size()) break;
            const unsigned char c = static_cast<unsigned char>(utf8[run]);
            if (c >= 0x80) {
                const Utf8Char u = DecodeUtf8(utf8, run);
                // C1 controls are legal XML but no title means them; U+FFFE and
                // U+FFFF are not characters in XML at all.
                if (!u.valid || u.code < 0xA0 || u.code == 0xFFFE || u.code == 0xFFFF) break;
                run += u.length;
            } else if (c < 0x20 || c == 0x7F || c == '&' || c == '<' || c == '>' || c == '"' ||
                       c == '\'') {
                break;
            } else {
                ++run;
            }
        }
        out.append(utf8.substr(i, run - i));
        i = run;
        if (i == utf8.size()) break;
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            const Utf8Char u = DecodeUtf8(utf8, i);
            out += kReplacement;
            i += u.valid ? u.length : 1;
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\t':
            case '\n':
            case '\r':
                out += ' ';
                break;
            default:
                out += kReplacement;
        }
        ++i;
    }
}

std::string Escaped(std::string_view utf8) {
    std::string out;
    AppendEscaped(out, utf8);
    return out;
}

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
