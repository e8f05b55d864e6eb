#pragma once

// A stand-in for the system resolver, linked into the fetch tests: a lookup of
// kHangingHost blocks (as during a DNS outage) until ReleaseHangingLookups() or
// a few seconds have passed, then fails; every other name resolves as usual.

namespace vela::test {

inline constexpr const char* kHangingHost = "hanging-lookup.test";

void ReleaseHangingLookups();

}  // namespace vela::test
