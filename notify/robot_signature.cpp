#include "robot_signature.h"

#include "hmac_sign.h"
#include "text_escape.h"

namespace vela {

std::string DingtalkSignature(int64_t timestampMs, const std::string& secret) {
    const std::string stamp = std::to_string(timestampMs);
    return Base64(HmacSha256(secret, stamp + "\n" + secret));
}

std::string FeishuSignature(int64_t timestampSeconds, const std::string& secret) {
    return Base64(HmacSha256(std::to_string(timestampSeconds) + "\n" + secret, ""));
}

}  // namespace vela
