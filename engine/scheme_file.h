#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/scheme_save.h"

// The file form of schemes: TOML in UTF-8, one [[scheme]] table per scheme, read
// with every check the editor's save makes and more, and written so that reading
// it back stores every text byte for byte as it was.

namespace vela {

// One [[scheme]] table of a file, as the editor's save writes it: form.id "0"
// (a new scheme), GBK texts, group numbers and the judgement mode as decimal texts.
struct FileScheme {
    SchemeSave save;
    int line = 0;  // where its table starts
};

struct SchemeFileRead {
    std::vector<FileScheme> schemes;  // empty whenever there is an error
    // UTF-8 lines "FILE:LINE: KEY: what is wrong", in line order.
    std::vector<std::string> errors;
    bool ok() const { return errors.empty(); }
};

// A scheme file is never larger than this; a larger one is refused unread.
inline constexpr std::size_t kMaxSchemeFileBytes = 1 << 20;

// Reads and checks a whole file (`fileName` only names it in the messages). Any
// error and the file yields no scheme.
SchemeFileRead ReadSchemeFile(std::string_view bytes, const std::string& fileName);

// What a file says of a stored scheme, from its row of table `rule` (cells in
// table order): its id, texts, group numbers, mode and tick.
SchemeSave SchemeSaveFromRow(const std::vector<std::string>& cells);

struct SchemeFileText {
    bool ok = false;
    std::string text;   // UTF-8 TOML
    std::string error;  // UTF-8, when not ok
};

// The file of `schemes`. Literal strings wherever the text allows them, so that
// a pattern reads as it was typed. Refused, naming the scheme, key and bytes, when
// a text holds GBK bytes without a Unicode form (a UTF-8 file cannot carry them,
// and a file that changed them would import a different scheme).
SchemeFileText WriteSchemeFile(const std::vector<SchemeSave>& schemes);

// `utf8` as a TOML basic string between double quotes: every byte kept, quotes,
// backslashes and control characters escaped.
std::string TomlBasicString(std::string_view utf8);

}  // namespace vela
