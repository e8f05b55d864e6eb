// mailto://[user:password@]host[:port]?to=a@b.example[,c@d.example]&from=...
// and mailtos://: one mail per message over SMTP. mailto asks for STARTTLS and
// fails without it unless ?tls=no; mailtos speaks TLS from the start. Ports by
// default 25 and 465.

#include <ctime>
#include <random>

#include "service.h"
#include "text_escape.h"

namespace vela {
namespace {

// An address goes into a header line and an SMTP command as it is.
bool PlainAddress(const std::string& address) {
    if (address.empty() || address.find('@') == std::string::npos) return false;
    for (char c : address) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == '<' || c == '>' || c == ',' || c == '"' ||
            c == 0x7f) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> Recipients(const ChannelUrl& url, const std::string& from) {
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
    if (to.empty()) to.push_back(from);
    return to;
}

std::string Sender(const ChannelUrl& url) {
    if (url.HasQuery("from")) return url.Query("from");
    if (url.user.find('@') != std::string::npos) return url.user;
    return (url.user.empty() ? std::string("vela") : url.user) + "@" + url.host;
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
    for (const std::string& to : Recipients(url, from)) {
        if (!PlainAddress(to)) {
            error = "a recipient's address is not a plain address (to=)";
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

// RFC 2047 encoded words for a header, each whole characters and at most 75
// characters long.
std::string EncodedWords(const std::string& text) {
    constexpr std::size_t kRawBytes = 45;  // 60 base64 characters
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size()) {
            char32_t cp = 0;
            const std::size_t length = NextCodePoint(text, end, cp);
            if (end + length - start > kRawBytes) break;
            end += length;
        }
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(text.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string MailDate(int64_t nowMs) {
    const std::time_t seconds = static_cast<std::time_t>(nowMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return buffer;
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
    return "Date: " + MailDate(nowMs) + "\r\nFrom: " + from + "\r\nTo: " + recipients +
           "\r\nSubject: " + EncodedWords(PlainLine(message.title)) + "\r\nMessage-ID: <" +
           std::to_string(nowMs) + "." + std::to_string(unique) + "@" + domain +
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
    mail.to = Recipients(url, mail.from);
    static thread_local std::mt19937_64 random{std::random_device{}()};
    mail.message = MailMessage(mail.from, mail.to, message, context.nowMs, random());
    return {std::move(request)};
}

}  // namespace

const Service kMailService{{"mailto", "mailtos"}, false, -1, &Check, &Compose};

}  // namespace vela
