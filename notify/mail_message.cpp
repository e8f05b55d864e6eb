#include "mail_message.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "fetch/date_text.h"
#include "fetch/utf8_decode.h"
#include "text_escape.h"

namespace vela {
namespace {

// The subject as RFC 2047 encoded words: each whole characters, at most 75
// characters long, one per line, so that no line of the header field (its name
// on the first) is longer than 76.
std::string EncodedWords(const std::string& text, std::size_t nameLength) {
    constexpr std::size_t kLine = 76;
    constexpr std::size_t kFrame = 12;  // =?UTF-8?B? and ?=
    std::string out;
    std::size_t used = nameLength;
    for (std::size_t start = 0; start < text.size();) {
        // Whole groups of three bytes: base64 adds no padding before the last word.
        const std::size_t raw = (kLine - used - kFrame) / 4 * 3;
        std::size_t end = start;
        while (end < text.size()) {
            const Utf8Char c = DecodeUtf8(text, end);
            const std::size_t length = c.valid ? c.length : 1;
            if (end + length - start > raw) break;
            end += length;
        }
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(text.substr(start, end - start)) + "?=";
        start = end;
        used = 1;  // the blank that folds the line
    }
    return out;
}

std::string Base64Lines(const std::string& bytes) {
    const std::string encoded = Base64(bytes);
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); i += 76) out += encoded.substr(i, 76) + "\r\n";
    return out;
}

}  // namespace

std::string MailMessage(const std::string& from, const std::vector<std::string>& to,
                        const NotifyMessage& message, int64_t nowMs, uint64_t unique) {
    std::string recipients;
    for (const std::string& address : to) {
        if (!recipients.empty()) recipients += ", ";
        recipients += address;
    }
    std::string body = PlainBody(message);
    std::string crlf;
    for (char c : body) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string domain = from.substr(from.rfind('@') + 1);
    return "Date: " + MailDate(static_cast<std::time_t>(nowMs / 1000)) + "\r\nFrom: " + from + "\r\nTo: " + recipients +
           "\r\nSubject: " + EncodedWords(PlainLine(message.title), std::strlen("Subject: ")) +
           "\r\nMessage-ID: <" + std::to_string(nowMs) + "." + std::to_string(unique) + "@" +
           domain +
           ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           Base64Lines(crlf + "\r\n");
}

}  // namespace vela
