#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "service.h"
#include "text_escape.h"

namespace vela {
namespace {

// The table: adding a service is one unit and one row here.
const Service* const kServices[] = {
    &kMailService,  &kJsonService,     &kNtfyService,   &kTelegramService,
    &kWecomService, &kDingtalkService, &kFeishuService, &kDiscordService,
};

bool SecretKey(std::string_view key) {
    std::string lower;
    for (char c : key) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "secret" || lower == "token" || lower == "key" || lower == "password" ||
           lower == "pass" || lower == "sign" || lower == "access_token";
}

void OverrideFromEnvironment(std::string& endpoint, const char* name) {
    const char* value = std::getenv(name);
    if (value && *value) endpoint = value;
}

}  // namespace

const Service* FindService(std::string_view scheme) {
    for (const Service* service : kServices) {
        for (std::string_view s : service->schemes) {
            if (s == scheme) return service;
        }
    }
    return nullptr;
}

std::string KnownSchemes() {
    std::string text;
    for (const Service* service : kServices) {
        for (std::string_view s : service->schemes) {
            if (!text.empty()) text += ", ";
            text += s;
        }
    }
    return text;
}

ServiceEndpoints EndpointsFromEnvironment() {
    ServiceEndpoints endpoints;
    OverrideFromEnvironment(endpoints.tgram, "VELA_NOTIFY_TGRAM_URL");
    OverrideFromEnvironment(endpoints.wecombot, "VELA_NOTIFY_WECOMBOT_URL");
    OverrideFromEnvironment(endpoints.dingtalk, "VELA_NOTIFY_DINGTALK_URL");
    OverrideFromEnvironment(endpoints.feishu, "VELA_NOTIFY_FEISHU_URL");
    OverrideFromEnvironment(endpoints.discord, "VELA_NOTIFY_DISCORD_URL");
    OverrideFromEnvironment(endpoints.ntfy, "VELA_NOTIFY_NTFY_URL");
    return endpoints;
}

std::vector<std::string> ChannelSecrets(const ChannelUrl& url) {
    std::vector<std::string> secrets;
    const Service* service = FindService(url.scheme);
    if (url.hasPassword && !url.password.empty()) secrets.push_back(url.password);
    if (service && service->authoritySecret && !url.authority.empty()) {
        secrets.push_back(url.authority);
    }
    if (service && service->secretSegment >= 0 &&
        static_cast<std::size_t>(service->secretSegment) < url.path.size()) {
        secrets.push_back(url.path[service->secretSegment]);
    }
    for (const auto& [key, value] : url.query) {
        if (SecretKey(key) && !value.empty()) secrets.push_back(value);
    }
    return secrets;
}

std::string MaskedChannel(const ChannelUrl& url) {
    const Service* service = FindService(url.scheme);
    std::string text = url.scheme + "://";
    if (!url.user.empty() || url.hasPassword) {
        text += url.user;
        if (url.hasPassword) text += ":****";
        text += '@';
    }
    text += service && service->authoritySecret ? "****" : url.authority;
    for (std::size_t i = 0; i < url.path.size(); ++i) {
        const bool secret = service && service->secretSegment == static_cast<int>(i);
        text += "/" + (secret ? std::string("****") : url.path[i]);
    }
    for (std::size_t i = 0; i < url.query.size(); ++i) {
        const auto& [key, value] = url.query[i];
        text += (i == 0 ? "?" : "&") + key + "=" + (SecretKey(key) ? "****" : value);
    }
    return PlainLine(text);
}

std::string MaskedChannelText(std::string_view text) {
    ChannelUrl url;
    std::string error;
    if (ParseChannelUrl(text, url, error)) return MaskedChannel(url);
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon > 16) return "(a channel)";
    return PlainLine(text.substr(0, colon)) + "://****";
}

std::string HideSecrets(std::string text, const ChannelUrl& url) {
    std::vector<std::string> forms;
    for (const std::string& secret : ChannelSecrets(url)) {
        forms.push_back(secret);
        forms.push_back(QueryEncode(secret));
    }
    for (const std::string& form : forms) {
        // A secret of one or two characters would mask ordinary words.
        if (form.size() < 3) continue;
        for (std::size_t at = text.find(form); at != std::string::npos;
             at = text.find(form, at + 4)) {
            text.replace(at, form.size(), "****");
        }
    }
    return text;
}

ServiceRequest JsonPost(std::string url, std::string body) {
    ServiceRequest request;
    request.http.url = std::move(url);
    request.http.headers = {"Content-Type: application/json; charset=utf-8"};
    request.http.body = std::move(body);
    return request;
}

bool JsonCodeIsZero(const std::string& body, const char* key) {
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (!answer.is_object()) return false;
    const auto it = answer.find(key);
    return it != answer.end() && it->is_number_integer() && it->get<long long>() == 0;
}

}  // namespace vela

namespace vela {

bool PlainHost(const ChannelUrl& url) {
    if (url.host.empty() || url.host.find_first_of("/@[] ") != std::string::npos) return false;
    const bool bracketed = !url.authority.empty() && url.authority.front() == '[';
    return bracketed || url.host.find(':') == std::string::npos;
}

std::string WebAddress(const ChannelUrl& url, bool secure) {
    std::string address = secure ? "https://" : "http://";
    address += url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != 0) address += ":" + std::to_string(url.port);
    for (const std::string& segment : url.path) address += "/" + QueryEncode(segment);
    return address;
}

std::string NewestWebLink(const NotifyMessage& message) {
    if (message.articles.empty() || !IsHttpLink(message.articles.front().link)) return {};
    return EncodeLink(message.articles.front().link);
}

}  // namespace vela
