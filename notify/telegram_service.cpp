// tgram://bot_token/chat_id[/chat_id...]: the bot API's sendMessage in HTML mode,
// one request per chat and per part of the message.

#include <cctype>
#include <nlohmann/json.hpp>

#include "json_request.h"
#include "message_split.h"
#include "service_table.h"
#include "text_escape.h"

namespace vela {
namespace {

constexpr std::size_t kMessageLength = 4096;  // UTF-16 units

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty() || url.path.empty()) {
        error = "needs a bot token and a chat: tgram://bot_token/chat_id";
        return false;
    }
    for (char c : url.authority) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '_' && c != '-') {
            error = "a bot token holds only letters, digits, ':', '_' and '-'";
            return false;
        }
    }
    return true;
}

std::string Title(const std::string& title) { return "<b>" + title + "</b>"; }
std::string Scheme(const std::string& scheme) { return "<b>【" + scheme + "】</b>"; }
std::string Article(const std::string& title, const std::string& link) {
    if (IsHttpLink(link)) {
        return "<a href=\"" + EscapeHtml(EncodeLink(link)) + "\">" +
               (title.empty() ? EscapeHtml(link) : title) + "</a>";
    }
    return link.empty() ? title : title + "\n" + EscapeHtml(link);
}

bool Accepted(const std::string& body) {
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    return answer.is_object() && answer.value("ok", false) == true;
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    const TextFormat format{&EscapeHtml,       &Title,        &Scheme, &Article, "\n",
                            LengthUnit::Utf16, kMessageLength};
    const std::vector<std::string> texts = SplitMessage(message, format);
    std::vector<ServiceRequest> requests;
    for (const std::string& chat : url.path) {
        for (const std::string& text : texts) {
            const nlohmann::ordered_json body = {{"chat_id", chat},
                                                 {"text", text},
                                                 {"parse_mode", "HTML"},
                                                 {"disable_web_page_preview", true}};
            ServiceRequest request =
                JsonPost(context.endpoints.tgram + "/bot" + url.authority + "/sendMessage", body);
            request.accepted = &Accepted;
            requests.push_back(std::move(request));
        }
    }
    return requests;
}

}  // namespace

const Service kTelegramService{{"tgram"}, &TokenInHost, &Check, &Compose};

}  // namespace vela
