#include "encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace vela {
namespace {

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

private:
    iconv_t cd_;
};

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is malformed
// (overlong, a surrogate, beyond U+10FFFF, truncated, a stray continuation byte).
size_t ValidUtf8Length(std::string_view s) {
    auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    unsigned char c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
        if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;   // overlong
        if (c == 0xF4 && b(1) >= 0x90) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

// Length of the malformed UTF-8 sequence at the start of `s` that becomes one "?":
// a lead byte with the continuation bytes that belong to it, or one stray byte.
size_t MalformedUtf8Length(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < want && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) ++n;
    return n;
}

size_t Utf8CharLength(std::string_view s) {
    size_t n = ValidUtf8Length(s);
    return n ? n : 1;
}

}  // namespace

std::string BytesToText(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::string Utf8ToGbk(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.empty()) return {};
    // First replace every malformed sequence by "?", so that iconv sees valid
    // UTF-8 and stops only at characters GBK cannot hold.
    // Valid bytes are copied a run at a time: a page is mostly valid.
    std::string clean;
    clean.reserve(bytes.size());
    size_t run = 0;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        std::string_view rest = bytes.substr(i);
        size_t n = ValidUtf8Length(rest);
        if (n) {
            i += n;
        } else {
            clean.append(bytes.substr(run, i - run));
            clean.push_back('?');
            i += MalformedUtf8Length(rest);
            run = i;
        }
    }
    clean.append(bytes.substr(run));
    thread_local Converter converter("CP936", "UTF-8");
    std::string out;
    out.reserve(clean.size());
    converter.Convert(clean, out, Utf8CharLength);
    return out;
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

}  // namespace vela
