// A channel URL made by the fuzzer, and a message whose title it also makes: the
// URL's parts, the masking of its secrets and every request its service builds.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "notify/channel_secrets.h"
#include "notify/channel_url.h"
#include "notify/service_table.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first line is the URL, the rest a page title.
    const std::size_t newline = input.find('\n');
    const std::string_view text = input.substr(0, newline);
    const std::string title =
        newline == std::string_view::npos ? std::string() : std::string(input.substr(newline + 1));

    vela::ChannelUrl url;
    std::string error;
    if (!vela::ParseChannelUrl(text, url, error)) {
        FUZZ_CHECK(!error.empty());
        vela::MaskedChannelText(text);
        return 0;
    }
    FUZZ_CHECK(!url.scheme.empty());
    for (char c : url.scheme) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    FUZZ_CHECK(url.port >= 0 && url.port <= 65535);
    for (const std::string& segment : url.path) FUZZ_CHECK(!segment.empty());

    // No secret survives in a text that names the channel.
    const std::string hidden = vela::HideSecrets(url.text + " " + error, url);
    for (const std::string& secret : vela::ChannelSecrets(url)) {
        if (secret.size() >= 3 && secret.find('*') == std::string::npos) {
            FUZZ_CHECK(hidden.find(secret) == std::string::npos);
        }
    }
    vela::MaskedChannel(url);

    const vela::Service* service = vela::FindService(url.scheme);
    if (!service || !service->check(url, error)) return 0;
    vela::NotifyMessage message;
    message.title = "发现 1 篇新文章";
    message.articles.push_back({"1", title, title, title, title, "t"});
    message.articles.push_back(
        {"2", "s", std::string(5000, 'x') + title, "http://x/" + title, "", "t"});
    const vela::ServiceEndpoints endpoints;
    const vela::ComposeContext context{endpoints, 1700000000000};
    for (const vela::ServiceRequest& request : service->compose(url, message, context)) {
        if (request.mail) {
            // Every header line ends where it should: no line break from the input.
            const std::string& mail = request.smtp.message;
            const std::size_t head = mail.find("\r\n\r\n");
            FUZZ_CHECK(head != std::string::npos);
            for (std::size_t i = 0; i < head; ++i) {
                if (mail[i] == '\n') FUZZ_CHECK(i > 0 && mail[i - 1] == '\r');
            }
        } else {
            // Every body is one JSON document, whatever the title holds.
            FUZZ_CHECK(nlohmann::json::accept(request.http.body));
        }
    }
    return 0;
}
