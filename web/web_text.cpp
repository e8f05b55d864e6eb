#include "web_text.h"

#include <cstring>

#include "fetch/encoding.h"

namespace vela {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text` and its code
// point, or 0 when it is malformed (overlong forms and surrogates included).
std::size_t DecodeOne(std::string_view text, char32_t& cp) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    std::size_t length = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return length;
}

}  // namespace

std::string StoredUtf8(std::string_view gbk) {
    std::string out;
    for (;;) {
        const std::size_t zero = gbk.find('\0');
        out += GbkToUtf8(gbk.substr(0, zero));
        if (zero == std::string_view::npos) return out;
        out += '?';
        gbk.remove_prefix(zero + 1);
    }
}

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
                char32_t cp = 0;
                const std::size_t n = DecodeOne(utf8.substr(run), cp);
                // C1 controls are legal XML but no title means them; U+FFFE and
                // U+FFFF are not characters in XML at all.
                if (n == 0 || cp < 0xA0 || cp == 0xFFFE || cp == 0xFFFF) break;
                run += n;
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
            char32_t cp = 0;
            const std::size_t n = DecodeOne(utf8.substr(i), cp);
            out += kReplacement;
            i += n == 0 ? 1 : n;
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

bool IsWebLink(std::string_view link) {
    const auto startsWith = [&](std::string_view prefix) {
        if (link.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = link[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
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
