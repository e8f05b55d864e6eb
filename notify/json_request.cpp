#include "json_request.h"

#include <nlohmann/json.hpp>

namespace vela {

ServiceRequest JsonPost(std::string url, const nlohmann::ordered_json& body) {
    ServiceRequest request;
    request.http.url = std::move(url);
    request.http.headers = {"Content-Type: application/json; charset=utf-8"};
    request.http.body = body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return request;
}

bool JsonCodeIsZero(const std::string& body, const char* key) {
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (!answer.is_object()) return false;
    const auto it = answer.find(key);
    return it != answer.end() && it->is_number_integer() && it->get<long long>() == 0;
}

}  // namespace vela
