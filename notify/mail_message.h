#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "notify_message.h"

namespace vela {

// The RFC 5322 message of a mail: UTF-8 subject as encoded words, the plain body
// in base64; `unique` makes the Message-ID unique.
std::string MailMessage(const std::string& from, const std::vector<std::string>& to,
                        const NotifyMessage& message, int64_t nowMs, uint64_t unique);

}  // namespace vela
