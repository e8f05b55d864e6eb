#pragma once

#include <cstdint>
#include <string>

namespace vela {

// The signatures of the robots that sign (base64 of the HMAC-SHA256, not yet
// percent-encoded). DingTalk: the time in milliseconds and the secret, under the
// secret. Feishu: nothing, under the time in seconds and the secret.
std::string DingtalkSignature(int64_t timestampMs, const std::string& secret);
std::string FeishuSignature(int64_t timestampSeconds, const std::string& secret);

}  // namespace vela
