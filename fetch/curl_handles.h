#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

// Owners for the libcurl handles of one transfer. Internal to fetch/.

namespace vela::curl {

// curl_global_init once per process, before the first handle; thread-safe.
bool GlobalInit();

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

class HeaderList {
public:
    explicit HeaderList(const std::vector<std::string>& lines);
    curl_slist* get() const { return list_.get(); }
    bool ok() const { return ok_; }

private:
    std::unique_ptr<curl_slist, SlistFree> list_;
    bool ok_ = true;
};

// One easy handle inside its own multi handle, so the caller drives the
// transfer and can give up between two steps of it.
class Transfer {
public:
    Transfer();
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool ok() const { return easy_ && multi_; }
    CURL* easy() const { return easy_; }
    CURLM* multi() const { return multi_; }

    // Adds the easy handle to the multi handle; call once, after the options.
    bool Start();

private:
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    bool added_ = false;
};

}  // namespace vela::curl
