#include "service_endpoints.h"

#include <cstdlib>

namespace vela {
namespace {

void OverrideFromEnvironment(std::string& endpoint, const char* name) {
    const char* value = std::getenv(name);
    if (value && *value) endpoint = value;
}

}  // namespace

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

}  // namespace vela
