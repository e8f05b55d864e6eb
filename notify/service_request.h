#pragma once

#include <string>
#include <vector>

namespace vela {

// One HTTP POST.
struct HttpPost {
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    std::string user;  // HTTP basic authentication when not empty
    std::string password;
};

// One mail over SMTP.
struct MailSend {
    std::string url;         // smtp://host:port or smtps://host:port
    bool requireTls = true;  // STARTTLS required on smtp:// (otherwise used when offered)
    std::string user;
    std::string password;
    std::string from;
    std::vector<std::string> to;
    std::string message;  // the whole RFC 5322 message, CR LF line ends
};

// One request of a delivery; a message split for a service's size limit gives
// several, sent in order.
struct ServiceRequest {
    bool mail = false;
    HttpPost http;
    MailSend smtp;
    // Whether a 2xx answer's body says the service took the message (the chat
    // robots answer 200 with an error code); null: any 2xx is acceptance.
    bool (*accepted)(const std::string& body) = nullptr;
};

}  // namespace vela
