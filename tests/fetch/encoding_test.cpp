#include "fetch/encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string_view>
#include <thread>
#include <vector>

namespace vela {
namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string in;
    std::string out;
};

TEST(Utf8ToGbk, Cases) {
    const Case cases[] = {
        {"empty", "", ""},
        {"ascii", "abc <a href>", "abc <a href>"},
        {"chinese", "中文", "\xD6\xD0\xCE\xC4"},
        {"full-width space", "\xE3\x80\x80", "\xA1\xA1"},
        {"euro is 0x80", "\xE2\x82\xAC", "\x80"},
        {"no gbk code", "a\xF0\x9F\x98\x80z", "a?z"},
        {"tag character gives nothing", "a\xF3\xA0\x80\x81z", "az"},
        {"stray continuation", "a\x80z", "a?z"},
        {"truncated sequence", "a\xE4\xB8", "a?"},
        {"truncated then ascii", "\xE4\xB8z", "?z"},
        {"overlong", "\xC0\xAFz", "?z"},
        {"surrogate", "\xED\xA0\x80z", "?z"},
        {"zero byte ends text", "ab\0cd"s, "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.in), c.out);
    }
}

TEST(GbkToUtf8, Cases) {
    const Case cases[] = {
        {"empty", "", ""},
        {"chinese", "\xD6\xD0\xCE\xC4", "中文"},
        {"lone lead byte at end", "ab\xD6", "ab?"},
        {"invalid lead byte keeps the ascii after it",
         "\xFF"
         "a",
         "?a"},
        {"zero byte ends text", "a\0b"s, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GbkToUtf8(c.in), c.out);
    }
}

TEST(Encoding, RoundTripOfEveryTwoByteCode) {
    // Every code GBK defines survives GBK -> UTF-8 -> GBK unchanged.
    int defined = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            std::string utf8 = GbkToUtf8(gbk);
            if (utf8.find('?') != std::string::npos) continue;
            ++defined;
            ASSERT_EQ(Utf8ToGbk(utf8), gbk) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GT(defined, 21000);
}

std::string Utf8(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    }
    if (cp >= 0x80) s += static_cast<char>(0x80 | (cp & 0x3F));
    return s;
}

// The conversion done the slow, plain way: every malformed sequence is one "?",
// every character goes through iconv on its own and becomes "?" when it fails.
class ReferenceConverter {
public:
    ReferenceConverter() : cd_(iconv_open("CP936", "UTF-8")) {}
    ~ReferenceConverter() { iconv_close(cd_); }

    std::string Convert(std::string_view bytes) {
        bytes = bytes.substr(0, bytes.find('\0'));
        std::string out;
        for (std::size_t i = 0; i < bytes.size();) {
            const std::size_t valid = ValidLength(bytes.substr(i));
            if (valid == 0) {
                out += '?';
                i += MalformedLength(bytes.substr(i));
                continue;
            }
            out += Character(bytes.substr(i, valid));
            i += valid;
        }
        return out;
    }

    std::string Character(std::string_view utf8) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(utf8.data());
        std::size_t inLeft = utf8.size();
        char buffer[16];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) return "?";
        return std::string(buffer, out);
    }

private:
    static std::size_t ValidLength(std::string_view s) {
        const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
        const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
        const unsigned char c = b(0);
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

    // The lead byte with the continuation bytes that belong to it, or one stray byte.
    static std::size_t MalformedLength(std::string_view s) {
        const auto c = static_cast<unsigned char>(s[0]);
        const std::size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::size_t n = 1;
        while (n < want && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) ++n;
        return n;
    }

    iconv_t cd_;
};

// Pages that mix ASCII, Chinese, characters GBK cannot hold (Thai, emoji, tag
// characters, a byte order mark) and malformed sequences of every kind, from
// several threads at once while the table is still being filled.
TEST(Utf8ToGbk, AgreesWithCharacterByCharacterConversion) {
    const std::vector<std::string> pieces = {"a",
                                             "<td>",
                                             " ",
                                             "\r\n",
                                             "中",
                                             "文",
                                             "　",
                                             "€",
                                             "ก",
                                             "ไทย",
                                             "😀",
                                             "🎉",
                                             "\xF3\xA0\x80\x81",
                                             "\xEF\xBB\xBF",
                                             "\xEF\xBF\xBE",
                                             "\xC2\x80",
                                             "\x80",
                                             "\xBF",
                                             "\xC0\xAF",
                                             "\xC1",
                                             "\xE0\x80",
                                             "\xE4\xB8",
                                             "\xED\xA0\x80",
                                             "\xF0\x80\x80\x80",
                                             "\xF4\x90\x80\x80",
                                             "\xF5",
                                             "\xFF",
                                             "\xF0\x9F",
                                             "\xE4",
                                             std::string(1, '\0')};
    const auto check = [&](unsigned seed) {
        ReferenceConverter reference;
        std::mt19937 random(seed);
        for (int round = 0; round < 3000; ++round) {
            std::string page;
            for (std::size_t k = random() % 40; k > 0; --k)
                page += pieces[random() % pieces.size()];
            // Now and then a random code point beyond the usual ranges.
            if (random() % 4 == 0) page += Utf8(static_cast<char32_t>(0x80 + random() % 0xD700));
            if (random() % 4 == 0)
                page += Utf8(static_cast<char32_t>(0x10000 + random() % 0x100000));
            ASSERT_EQ(Utf8ToGbk(page), reference.Convert(page)) << ::testing::PrintToString(page);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned seed = 1; seed <= 4; ++seed) threads.emplace_back(check, seed);
    for (auto& t : threads) t.join();
}

TEST(Utf8ToGbk, EveryCharacterAsIconvConvertsIt) {
    ReferenceConverter reference;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        if (cp == 0xD800) cp = 0xE000;  // surrogates are malformed UTF-8
        const std::string utf8 = Utf8(cp);
        ASSERT_EQ(Utf8ToGbk("<" + utf8 + ">"), "<" + reference.Character(utf8) + ">")
            << "U+" << std::hex << static_cast<unsigned>(cp);
    }
}

TEST(BytesToText, StopsAtZeroByte) {
    EXPECT_EQ(BytesToText("ab\0cd"s), "ab");
    EXPECT_EQ(BytesToText("abcd"), "abcd");
}

}  // namespace
}  // namespace vela
