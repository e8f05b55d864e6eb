#include "fetch/curl_handles.h"

namespace vela::curl {

bool GlobalInit() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

HeaderList::HeaderList(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        curl_slist* grown = curl_slist_append(list_.get(), line.c_str());
        if (!grown) {
            ok_ = false;
            return;
        }
        list_.release();
        list_.reset(grown);
    }
}

Transfer::Transfer() {
    if (!GlobalInit()) return;
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
}

Transfer::~Transfer() {
    if (added_) curl_multi_remove_handle(multi_, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
}

bool Transfer::Start() {
    added_ = curl_multi_add_handle(multi_, easy_) == CURLM_OK;
    return added_;
}

}  // namespace vela::curl
