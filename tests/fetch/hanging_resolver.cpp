#include "hanging_resolver.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace vela::test {
namespace {

std::mutex mutex;
std::condition_variable released;
bool releasedFlag = false;

}  // namespace

void ReleaseHangingLookups() {
    std::lock_guard lock(mutex);
    releasedFlag = true;
    released.notify_all();
}

}  // namespace vela::test

// libcurl's resolver thread calls this definition instead of the C library's.
extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
    using namespace vela::test;
    if (node && std::strcmp(node, kHangingHost) == 0) {
        std::unique_lock lock(mutex);
        released.wait_for(lock, std::chrono::seconds(8), [] { return releasedFlag; });
        return EAI_AGAIN;
    }
    using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real ? real(node, service, hints, result) : EAI_FAIL;
}
