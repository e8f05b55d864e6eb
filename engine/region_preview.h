#pragma once

#include <cstddef>
#include <string>

namespace vela {

// How much of a region the rule tester's source box shows.
inline constexpr std::size_t kRegionPreviewBytes = 256 * 1024;

// The region as 测试编辑框 shows it: whole when it is short, else its first
// kRegionPreviewBytes (never half a character) and a line saying how many bytes
// were left out. A box holding a page of many megabytes as one line would stall
// the window for seconds and take gigabytes.
std::string RegionPreview(const std::string& region);

}  // namespace vela
