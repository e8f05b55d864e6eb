#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "service_request.h"

namespace vela {

// A JSON POST to `url`: the body dumped once, here, so that no service writes
// JSON by hand. Keys keep the order they were given in; malformed UTF-8 in a
// text becomes U+FFFD instead of failing the dump.
ServiceRequest JsonPost(std::string url, const nlohmann::ordered_json& body);

// The `"errcode":0`-style check of the chat robots: the integer member `key` of
// the answer's object is 0.
bool JsonCodeIsZero(const std::string& body, const char* key);

}  // namespace vela
