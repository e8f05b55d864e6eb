#include "hmac_sign.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace vela {

std::string HmacSha256(std::string_view key, std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    static const unsigned char kNothing = 0;
    const unsigned char* bytes =
        data.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(data.data());
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), bytes, data.size(), digest,
              &length)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace vela
