#include "encoding.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "fetch/utf8_decode.h"

namespace vela {
namespace {

constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

// One converter per thread and direction: iconv descriptors are not thread-safe.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in` completely; at each sequence the target cannot take, writes
    // "?" and skips `skip(rest)` input bytes.
    template <class Skip>
    void Convert(std::string_view in, std::string& out, Skip skip) {
        if (!valid()) {
            out.append(in.size(), '?');
            return;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[65536];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (rc != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL: the sequence at src has no form in the target.
            size_t n = skip(std::string_view(src, srcLeft));
            if (n == 0 || n > srcLeft) n = 1;
            out.push_back('?');
            src += n;
            srcLeft -= n;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
    }

    // Converts one whole character into `out`: the number of bytes written, or
    // kFailed when the target has no form for it.
    std::size_t ConvertOne(std::string_view in, char* out, std::size_t capacity) {
        if (!valid()) return kFailed;
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = out;
        size_t dstLeft = capacity;
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) {
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            return kFailed;
        }
        return static_cast<std::size_t>(dst - out);
    }

private:
    iconv_t cd_;
};

// The GBK code of every Unicode character, taken from iconv 256 characters at a
// time when a page first needs them: converting character by character through
// iconv costs far more, above all for characters GBK cannot hold.
class GbkCodeTable {
public:
    // kNoCode: no GBK code; kDropped: the converter writes nothing (it skips the
    // Unicode tag characters); below 0x100 one byte; otherwise lead * 256 + trail.
    static constexpr std::uint16_t kNoCode = 0;
    static constexpr std::uint16_t kDropped = 0xFFFF;

    std::uint16_t Code(char32_t cp) {
        const Block* block = blocks_[cp >> 8].load(std::memory_order_acquire);
        if (!block) block = Fill(cp >> 8);
        return (*block)[cp & 0xFF];
    }

private:
    using Block = std::array<std::uint16_t, 256>;

    const Block* Fill(std::size_t index) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const Block* done = blocks_[index].load(std::memory_order_acquire)) return done;
        auto block = std::make_unique<Block>();
        for (std::size_t low = 0; low < 256; ++low) {
            const auto cp = static_cast<char32_t>(index << 8 | low);
            (*block)[low] = cp < 0x80 || (cp >= 0xD800 && cp < 0xE000) ? kNoCode : Convert(cp);
        }
        const Block* done = block.get();
        owned_.push_back(std::move(block));
        blocks_[index].store(done, std::memory_order_release);
        return done;
    }

    std::uint16_t Convert(char32_t cp) {
        char in[4];
        std::size_t length = 0;
        if (cp < 0x800) {
            in[length++] = static_cast<char>(0xC0 | cp >> 6);
        } else if (cp < 0x10000) {
            in[length++] = static_cast<char>(0xE0 | cp >> 12);
            in[length++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        } else {
            in[length++] = static_cast<char>(0xF0 | cp >> 18);
            in[length++] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            in[length++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        }
        in[length++] = static_cast<char>(0x80 | (cp & 0x3F));
        char out[8];
        const std::size_t written =
            converter_.ConvertOne(std::string_view(in, length), out, sizeof out);
        if (written == kFailed) return kNoCode;
        if (written == 0) return kDropped;
        if (written == 1) return static_cast<unsigned char>(out[0]);
        // GBK has no character longer than two bytes.
        if (written > 2) return kNoCode;
        return static_cast<std::uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                          static_cast<unsigned char>(out[1]));
    }

    std::array<std::atomic<const Block*>, (0x10FFFF >> 8) + 1> blocks_{};
    std::mutex mutex_;
    std::vector<std::unique_ptr<Block>> owned_;
    Converter converter_{"CP936", "UTF-8"};  // used under mutex_ only
};

GbkCodeTable& CodeTable() {
    // Never destroyed: a worker still converting while the program ends must not
    // find it gone.
    static GbkCodeTable* table = new GbkCodeTable;
    return *table;
}

std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

}  // namespace

std::string BytesToText(std::string bytes) {
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string::npos) bytes.resize(zero);
    return bytes;
}

std::string Utf8ToGbk(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    // Every UTF-8 sequence gives at most as many GBK bytes as it has.
    std::string text(n, '\0');
    char* out = text.data();
    GbkCodeTable& table = CodeTable();
    for (std::size_t i = 0; i < n;) {
        // ASCII is the same in both, and most of a page is ASCII: copy it a run at a time.
        std::size_t ascii = i;
        while (ascii + 8 <= n && (Load64(in + ascii) & 0x8080808080808080u) == 0) ascii += 8;
        while (ascii < n && in[ascii] < 0x80) ++ascii;
        std::memcpy(out, in + i, ascii - i);
        out += ascii - i;
        i = ascii;
        while (i < n && in[i] >= 0x80) {
            // A malformed sequence, its continuation bytes with it, is one "?".
            const Utf8Char sequence = DecodeUtf8(bytes, i);
            i += sequence.length;
            const std::uint16_t code =
                sequence.valid ? table.Code(sequence.code) : GbkCodeTable::kNoCode;
            if (code == GbkCodeTable::kNoCode) {
                *out++ = '?';
            } else if (code < 0x100) {
                *out++ = static_cast<char>(code);
            } else if (code != GbkCodeTable::kDropped) {
                *out++ = static_cast<char>(code >> 8);
                *out++ = static_cast<char>(code & 0xFF);
            }
        }
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
    return text;
}

std::string GbkToUtf8(std::string_view gbk) {
    gbk = gbk.substr(0, gbk.find('\0'));
    thread_local Converter converter("UTF-8", "CP936");
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    // A lead byte whose pair has no Unicode form is dropped alone, so that an
    // ASCII byte after it survives.
    converter.Convert(gbk, out, [](std::string_view) { return size_t{1}; });
    return out;
}

std::string GbkTextToUtf8(std::string_view gbk) {
    std::string out;
    for (;;) {
        const std::size_t zero = gbk.find('\0');
        out += GbkToUtf8(gbk.substr(0, zero));
        if (zero == std::string_view::npos) return out;
        out += '?';
        gbk.remove_prefix(zero + 1);
    }
}

std::size_t CodePointToGbk(char32_t cp, char* out) {
    if (cp > 0 && cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    const std::uint16_t code = cp > 0x10FFFF ? GbkCodeTable::kNoCode : CodeTable().Code(cp);
    if (code == GbkCodeTable::kDropped) return 0;
    if (code == GbkCodeTable::kNoCode) {
        out[0] = '?';
        return 1;
    }
    if (code < 0x100) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code & 0xFF);
    return 2;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace vela
