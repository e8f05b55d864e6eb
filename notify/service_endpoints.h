#pragma once

#include <string>

namespace vela {

// Where the hosted services are reached. Each can be pointed elsewhere (a test
// server) with an environment variable: VELA_NOTIFY_TGRAM_URL,
// VELA_NOTIFY_WECOMBOT_URL, VELA_NOTIFY_DINGTALK_URL, VELA_NOTIFY_FEISHU_URL,
// VELA_NOTIFY_DISCORD_URL, VELA_NOTIFY_NTFY_URL (scheme, host and port, no trailing slash).
struct ServiceEndpoints {
    std::string tgram = "https://api.telegram.org";
    std::string wecombot = "https://qyapi.weixin.qq.com";
    std::string dingtalk = "https://oapi.dingtalk.com";
    std::string feishu = "https://open.feishu.cn";
    std::string discord = "https://discord.com";
    std::string ntfy = "https://ntfy.sh";  // ntfy://topic without a server
};
ServiceEndpoints EndpointsFromEnvironment();

}  // namespace vela
