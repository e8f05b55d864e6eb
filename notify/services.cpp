#include <algorithm>
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

bool LooksLikeToken(std::string_view segment) {
    bool letter = false;
    bool digit = false;
    for (char c : segment) {
        letter = letter || std::isalpha(static_cast<unsigned char>(c));
        digit = digit || std::isdigit(static_cast<unsigned char>(c));
    }
    return segment.size() >= 16 || (segment.size() >= 8 && letter && digit);
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

bool SecretQueryKey(std::string_view key) {
    std::string name;
    for (char c : key) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static constexpr std::string_view kWhole[] = {"pwd", "sig", "sign"};
    static constexpr std::string_view kParts[] = {"token", "secret", "pass", "auth", "signature"};
    for (std::string_view whole : kWhole) {
        if (name == whole) return true;
    }
    for (std::string_view part : kParts) {
        if (name.find(part) != std::string::npos) return true;
    }
    // key, apikey, api_key, X-API-Key, private_key ...
    return name.size() >= 3 && name.compare(name.size() - 3, 3, "key") == 0;
}

SecretPlaces NoSecretPlaces(const ChannelUrl&) { return {}; }

SecretPlaces TokenInHost(const ChannelUrl&) { return {true, {}}; }

SecretPlaces TokenLikeSegments(const ChannelUrl& url) {
    SecretPlaces places;
    for (std::size_t i = 0; i < url.path.size(); ++i) {
        if (LooksLikeToken(url.path[i])) places.segments.push_back(i);
    }
    return places;
}

namespace {

SecretPlaces PlacesOf(const ChannelUrl& url) {
    const Service* service = FindService(url.scheme);
    return service ? service->secretPlaces(url) : SecretPlaces{};
}

bool SecretSegment(const SecretPlaces& places, std::size_t index) {
    for (std::size_t segment : places.segments) {
        if (segment == index) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> ChannelSecrets(const ChannelUrl& url) {
    std::vector<std::string> secrets;
    const SecretPlaces places = PlacesOf(url);
    if (url.hasPassword && !url.password.empty()) secrets.push_back(url.password);
    if (places.authority && !url.authority.empty()) secrets.push_back(url.authority);
    for (std::size_t segment : places.segments) {
        if (segment < url.path.size()) secrets.push_back(url.path[segment]);
    }
    for (const auto& [key, value] : url.query) {
        if (SecretQueryKey(key) && !value.empty()) secrets.push_back(value);
    }
    return secrets;
}

std::string MaskedChannel(const ChannelUrl& url) {
    const SecretPlaces places = PlacesOf(url);
    std::string text = url.scheme + "://";
    if (!url.user.empty() || url.hasPassword) {
        text += url.user;
        if (url.hasPassword) text += ":****";
        text += '@';
    }
    text += places.authority ? "****" : url.authority;
    for (std::size_t i = 0; i < url.path.size(); ++i) {
        text += "/" + (SecretSegment(places, i) ? std::string("****") : url.path[i]);
    }
    for (std::size_t i = 0; i < url.query.size(); ++i) {
        const auto& [key, value] = url.query[i];
        text += (i == 0 ? "?" : "&") + key + "=" + (SecretQueryKey(key) ? "****" : value);
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
    // The whole URL first, so that it reads as the channel does everywhere else.
    if (url.text.size() >= 3) {
        const std::string masked = MaskedChannel(url);
        for (std::size_t at = text.find(url.text); at != std::string::npos;
             at = text.find(url.text, at + masked.size())) {
            text.replace(at, url.text.size(), masked);
        }
    }
    std::vector<std::string> forms;
    for (const std::string& secret : ChannelSecrets(url)) {
        forms.push_back(secret);
        forms.push_back(PercentEncode(secret));
    }
    // A query value as written may be encoded otherwise ("%2f" for "/").
    for (std::string_view query = url.rawQuery; !query.empty();) {
        const std::string_view pair = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), pair.size() + 1));
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && SecretQueryKey(PercentDecode(pair.substr(0, eq)))) {
            forms.emplace_back(pair.substr(eq + 1));
        }
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
    for (const std::string& segment : url.path) address += "/" + PercentEncode(segment);
    return address;
}

std::string NewestWebLink(const NotifyMessage& message) {
    if (message.articles.empty() || !IsHttpLink(message.articles.front().link)) return {};
    return EncodeLink(message.articles.front().link);
}

}  // namespace vela
