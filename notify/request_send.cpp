#include "request_send.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "text_escape.h"

namespace vela {
namespace {

// What is kept of an answer's body: enough for any service's status object.
constexpr std::size_t kAnswerCap = 64 * 1024;

struct EasyFree {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyFree>;
using List = std::unique_ptr<curl_slist, ListFree>;

bool GlobalInit() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

bool Append(List& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
}

size_t KeepAnswer(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<std::string*>(user);
    const size_t bytes = size * count;
    if (answer->size() < kAnswerCap) {
        answer->append(data, std::min(bytes, kAnswerCap - answer->size()));
    }
    return bytes;
}

struct Upload {
    const std::string* text;
    std::size_t sent = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const size_t room = size * count;
    const size_t bytes = std::min(room, upload->text->size() - upload->sent);
    std::memcpy(buffer, upload->text->data() + upload->sent, bytes);
    upload->sent += bytes;
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* stopped = static_cast<const std::function<bool()>*>(user);
    return (*stopped && (*stopped)()) ? 1 : 0;
}

// Options every transfer shares.
void Common(CURL* easy, const SendOptions& options, char* errorBuffer) {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // As for the pages: the environment's proxy variables are not used.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &options.stopped);
    if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
}

std::string CurlError(CURLcode code, const char* buffer) {
    return PlainLine(buffer[0] ? buffer : curl_easy_strerror(code));
}

SendResult SendHttp(const HttpPost& post, bool (*accepted)(const std::string&),
                    const SendOptions& options) {
    Easy easy(curl_easy_init());
    if (!easy) return {false, "cannot start a transfer"};
    List headers;
    for (const std::string& line : post.headers) {
        if (!Append(headers, line)) return {false, "out of memory"};
    }
    // No "Expect: 100-continue" round trip, and a name of our own.
    if (!Append(headers, "Expect:")) return {false, "out of memory"};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string answer;
    CURL* e = easy.get();
    Common(e, options, errorBuffer);
    curl_easy_setopt(e, CURLOPT_URL, post.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_USERAGENT, "vela");
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, post.body.data());
    if (!post.user.empty() || !post.password.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(e, CURLOPT_USERNAME, post.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, post.password.c_str());
    }
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepAnswer);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer);
    const CURLcode code = curl_easy_perform(e);
    if (code != CURLE_OK) return {false, CurlError(code, errorBuffer)};
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        std::string error = "HTTP status " + std::to_string(status);
        if (!answer.empty()) error += ": " + PlainLine(answer.substr(0, 200));
        return {false, error};
    }
    if (accepted && !accepted(answer)) {
        return {false, "the service refused the message: " + PlainLine(answer.substr(0, 200))};
    }
    return {true, {}};
}

SendResult SendMail(const MailSend& mail, const SendOptions& options) {
    Easy easy(curl_easy_init());
    if (!easy) return {false, "cannot start a transfer"};
    List recipients;
    for (const std::string& to : mail.to) {
        if (!Append(recipients, "<" + to + ">")) return {false, "out of memory"};
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Upload upload{&mail.message};
    CURL* e = easy.get();
    Common(e, options, errorBuffer);
    curl_easy_setopt(e, CURLOPT_URL, mail.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    const bool implicitTls = mail.url.rfind("smtps:", 0) == 0;
    // Without the requirement STARTTLS is still used where the server offers it.
    curl_easy_setopt(e, CURLOPT_USE_SSL,
                     implicitTls || mail.requireTls ? static_cast<long>(CURLUSESSL_ALL)
                                                    : static_cast<long>(CURLUSESSL_TRY));
    if (!mail.user.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, mail.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, mail.password.c_str());
    }
    const std::string from = "<" + mail.from + ">";
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(e, CURLOPT_READDATA, &upload);
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.message.size()));
    const CURLcode code = curl_easy_perform(e);
    if (code != CURLE_OK) return {false, CurlError(code, errorBuffer)};
    return {true, {}};
}

}  // namespace

SendOptions SendOptionsFromEnvironment() {
    SendOptions options;
    if (const char* file = std::getenv("VELA_NOTIFY_CA_FILE"); file && *file) {
        options.caFile = file;
    }
    return options;
}

SendResult SendRequest(const ServiceRequest& request, const SendOptions& options) {
    if (!GlobalInit()) return {false, "libcurl did not start"};
    return request.mail ? SendMail(request.smtp, options)
                        : SendHttp(request.http, request.accepted, options);
}

}  // namespace vela
