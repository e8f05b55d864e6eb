#pragma once

#include <string>
#include <string_view>

namespace vela {

// HMAC-SHA256 of `data` under `key`: the 32 raw bytes (empty if OpenSSL fails).
std::string HmacSha256(std::string_view key, std::string_view data);

}  // namespace vela
