#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "service_request.h"

namespace vela {

struct SendOptions {
    // The whole delivery of one request, connection and TLS included.
    std::chrono::milliseconds timeout{30000};
    // Asked during the transfer; true ends it (as a failure).
    std::function<bool()> stopped;
    // A file of CA certificates to trust instead of the system's (a test's own
    // certificate); from VELA_NOTIFY_CA_FILE when that is set.
    std::string caFile;
};

// SendOptions with the CA file of the environment.
SendOptions SendOptionsFromEnvironment();

struct SendResult {
    bool ok = false;
    std::string error;  // one line; may name the server, never a credential
};

// Sends one request and says whether the service took it: an HTTP answer 2xx
// (and the service's own check of its body), or SMTP's acceptance of the mail.
SendResult SendRequest(const ServiceRequest& request, const SendOptions& options);

}  // namespace vela
