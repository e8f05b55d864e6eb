#include "region_preview.h"

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"

namespace vela {

std::string RegionPreview(const std::string& region) {
    if (region.size() <= kRegionPreviewBytes) return region;
    std::size_t cut = 0;
    while (cut < region.size()) {
        const std::size_t next = cut + GbkCharLength(region, cut);
        if (next > kRegionPreviewBytes) break;
        cut = next;
    }
    return region.substr(0, cut) + "\r\n" +
           Utf8ToGbk("……（以下 " + std::to_string(region.size() - cut) + " 字节未显示）");
}

}  // namespace vela
