#include "channel_secrets.h"

#include <algorithm>
#include <cctype>

#include "service_table.h"
#include "text_escape.h"

namespace vela {

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

}  // namespace vela
