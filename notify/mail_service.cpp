// mailto://[user:password@]host[:port]?to=a@b.example[,c@d.example]&from=...
// and mailtos://: one mail per message over SMTP. mailto asks for STARTTLS and
// fails without it unless ?tls=no; mailtos speaks TLS from the start. Ports by
// default 25 and 465. to= is required: a mail to a made-up address on the relay
// would be lost without a word.

#include <cctype>
#include <cstring>
#include <ctime>
#include <random>
#include <string_view>

#include "fetch/date_text.h"
#include "fetch/utf8_decode.h"
#include "service.h"
#include "text_escape.h"

namespace vela {
namespace {

bool AtomCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+/=?^_`{|}~-").find(c) != std::string_view::npos;
}

// Dot-separated runs of the characters `allowed`, none of them empty.
bool DotSeparated(std::string_view text, bool (*allowed)(char)) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' ? text[i - 1] == '.' : !allowed(text[i])) return false;
    }
    return true;
}

bool DomainCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; }

// An address goes into a header line and an SMTP command as it is, so only the
// plain form is taken: local@domain of ASCII atoms, or local@[address literal].
bool PlainAddress(const std::string& address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos) return false;
    const std::string_view local = std::string_view(address).substr(0, at);
    const std::string_view domain = std::string_view(address).substr(at + 1);
    if (!DotSeparated(local, &AtomCharacter)) return false;
    if (domain.size() > 2 && domain.front() == '[' && domain.back() == ']') {
        for (char c : domain.substr(1, domain.size() - 2)) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        }
        return true;
    }
    return DotSeparated(domain, &DomainCharacter);
}

std::vector<std::string> Recipients(const ChannelUrl& url) {
    std::vector<std::string> to;
    std::string list = url.Query("to");
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        std::string address = list.substr(start, comma - start);
        while (!address.empty() && address.front() == ' ') address.erase(0, 1);
        while (!address.empty() && address.back() == ' ') address.pop_back();
        if (!address.empty()) to.push_back(address);
        start = comma + 1;
    }
    return to;
}

std::string Sender(const ChannelUrl& url) {
    if (url.HasQuery("from")) return url.Query("from");
    if (url.user.find('@') != std::string::npos) return url.user;
    const std::string host =
        url.host.find(':') != std::string::npos ? "[IPv6:" + url.host + "]" : url.host;
    return (url.user.empty() ? std::string("vela") : url.user) + "@" + host;
}

bool Check(const ChannelUrl& url, std::string& error) {
    if (!PlainHost(url)) {
        error = "needs a mail server: mailto://[user:password@]host[:port]?to=address";
        return false;
    }
    const std::string from = Sender(url);
    if (!PlainAddress(from)) {
        error = "the sender's address is not a plain address (from=)";
        return false;
    }
    const std::vector<std::string> to = Recipients(url);
    if (to.empty()) {
        error = "needs a recipient: mailto://[user:password@]host[:port]?to=address";
        return false;
    }
    for (const std::string& address : to) {
        if (!PlainAddress(address)) {
            error = "a recipient's address is not a plain address (to=" + PlainLine(address) + ")";
            return false;
        }
    }
    const std::string tls = url.Query("tls");
    if (!tls.empty() && tls != "no" && tls != "yes") {
        error = "tls= is yes or no";
        return false;
    }
    return true;
}

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
    return "Date: " + MailDate(static_cast<std::time_t>(nowMs / 1000)) + "\r\nFrom: " + from +
           "\r\nTo: " + recipients +
           "\r\nSubject: " + EncodedWords(PlainLine(message.title), std::strlen("Subject: ")) +
           "\r\nMessage-ID: <" + std::to_string(nowMs) + "." + std::to_string(unique) + "@" +
           domain +
           ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           Base64Lines(crlf + "\r\n");
}

namespace {

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    ServiceRequest request;
    request.mail = true;
    MailSend& mail = request.smtp;
    const bool implicitTls = url.scheme == "mailtos";
    const int port = url.port != 0 ? url.port : implicitTls ? 465 : 25;
    const std::string host =
        url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    mail.url = (implicitTls ? "smtps://" : "smtp://") + host + ":" + std::to_string(port);
    mail.requireTls = url.Query("tls") != "no";
    mail.user = url.user;
    mail.password = url.password;
    mail.from = Sender(url);
    mail.to = Recipients(url);
    static thread_local std::mt19937_64 random{std::random_device{}()};
    mail.message = MailMessage(mail.from, mail.to, message, context.nowMs, random());
    return {std::move(request)};
}

}  // namespace

const Service kMailService{{"mailto", "mailtos"}, &NoSecretPlaces, &Check, &Compose};

}  // namespace vela
