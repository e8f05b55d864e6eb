#include "toml_shield.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "fetch/encoding.h"
#include "scheme_file_text.h"
#include "stray_character.h"

namespace vela {
namespace {

// The code points toml++ 3.3 cannot tell blank or not: asked, it reaches an
// unreachable point (undefined behaviour). It asks of characters outside strings,
// after the line-ending backslash of a multi-line string, and of any character a
// number-like value scans ahead over, so they never reach it (see WithStandIns).
bool UnclassifiedByParser(char32_t cp) {
    return (cp >= 0xA1 && cp <= 0x499) || (cp >= 0x2C5E && cp <= 0x3057 && cp != 0x3000) ||
           (cp >= 0xFB26 && cp <= 0xFEFE);
}

// The parser is handed each code point it cannot classify as a stand-in from the
// supplementary private-use plane, U+F0000 plus the code point, which it reads as
// any other text; every text read back from it has the stand-ins turned back. A
// file that holds a character of that plane itself (or an escape that makes one)
// is refused beforehand, so a stand-in is never taken for one.
constexpr char32_t kStandInBase = 0xF0000;

// `text` with each character `swap` names another code point for (a nonzero
// result) written as that one; every other byte is kept, malformed UTF-8 too.
template <typename Swap>
std::string SwappedCharacters(std::string_view text, Swap swap) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::string_view character = Utf8CharAt(text, i, cp);
        if (character.empty()) {
            out.push_back(text[i++]);  // not UTF-8: the parser reports it
            continue;
        }
        if (const char32_t other = swap(cp)) {
            AppendUtf8(out, other);
        } else {
            out += character;
        }
        i += character.size();
    }
    return out;
}

std::string WithStandIns(std::string_view text) {
    return SwappedCharacters(text, [](char32_t cp) {
        return UnclassifiedByParser(cp) ? kStandInBase + cp : char32_t{0};
    });
}

// The first character of the stand-ins' plane in the file, or an escape that
// names one ("\U000F…"), with its line: such a file is refused.
std::optional<std::string> StandInPlaneCharacter(std::string_view text, int& line) {
    line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
        } else if (c == 0xF3) {
            char32_t cp = 0;
            const std::string_view character = Utf8CharAt(text, i, cp);
            if (!character.empty() && cp >= kStandInBase && cp < kStandInBase + 0x10000) {
                char name[16];
                std::snprintf(name, sizeof name, "U+%05X", static_cast<unsigned>(cp));
                return std::string(name);
            }
        } else if (c == '\\' && i + 6 <= text.size() && text.substr(i + 1, 4) == "U000" &&
                   (text[i + 5] == 'F' || text[i + 5] == 'f')) {
            return "\\" + std::string(text.substr(i + 1, 5)) + "…";
        }
    }
    return std::nullopt;
}

}  // namespace

std::string WithoutStandIns(std::string_view text) {
    return SwappedCharacters(text, [](char32_t cp) {
        return cp >= kStandInBase && UnclassifiedByParser(cp - kStandInBase) ? cp - kStandInBase
                                                                             : char32_t{0};
    });
}

ShieldedToml ParseShielded(std::string_view bytes, std::string_view fileName) {
    ShieldedToml parsed;
    if (const auto stray = StrayCharacter(bytes, parsed.line)) {
        parsed.error = "the character " + CodePointName(*stray) + " '" + std::string(*stray) +
                       "' stands outside any string (a text goes between quotes), or where the "
                       "TOML reader cannot take it";
        return parsed;
    }
    if (const auto planeCharacter = StandInPlaneCharacter(bytes, parsed.line)) {
        parsed.error = "the private-use character " + *planeCharacter +
                       " cannot be read from a scheme file (and has no GBK form)";
        return parsed;
    }
    const std::string shielded = WithStandIns(bytes);
    try {
        parsed.root = toml::parse(shielded, fileName);
    } catch (const toml::parse_error& e) {
        parsed.line = static_cast<int>(e.source().begin.line);
        parsed.error = "not valid TOML: " + ShownMessage(WithoutStandIns(e.description()));
        return parsed;
    } catch (const std::exception& e) {
        parsed.line = 1;
        parsed.error = std::string("cannot be read: ") + e.what();
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

}  // namespace vela
