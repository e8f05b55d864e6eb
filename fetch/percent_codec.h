#pragma once

#include <string>
#include <string_view>

// Percent-encoding (RFC 3986, section 2.1): every address and query value the
// program writes and every one it reads passes through these functions.

namespace vela {

// Whether a byte may stay as it is; every other byte becomes %XX.
using KeptByte = bool (*)(unsigned char byte);

// RFC 3986's unreserved characters: ASCII letters and digits, "-", ".", "_", "~".
// What a query value or a path segment keeps.
bool IsUnreserved(unsigned char byte);

// Appends `bytes` with every byte `keep` refuses as "%" and two upper-case hex
// digits.
void AppendPercentEncoded(std::string& out, std::string_view bytes, KeptByte keep = &IsUnreserved);
std::string PercentEncode(std::string_view bytes, KeptByte keep = &IsUnreserved);

// What a "+" means to the reader of a text.
enum class PlusSign {
    Kept,   // a "+" is itself (an address, a channel URL)
    Blank,  // a "+" is a blank (a query as an HTML form sends it)
};

// Every "%" with two hex digits (either case) after it as the byte they name; a
// "%" without them stays as it is.
std::string PercentDecode(std::string_view text, PlusSign plus = PlusSign::Kept);

}  // namespace vela
