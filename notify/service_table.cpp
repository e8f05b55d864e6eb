#include "service_table.h"

#include <cctype>

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

SecretPlaces NoSecretPlaces(const ChannelUrl&) { return {}; }

SecretPlaces TokenInHost(const ChannelUrl&) { return {true, {}}; }

SecretPlaces TokenLikeSegments(const ChannelUrl& url) {
    SecretPlaces places;
    for (std::size_t i = 0; i < url.path.size(); ++i) {
        if (LooksLikeToken(url.path[i])) places.segments.push_back(i);
    }
    return places;
}

}  // namespace vela
