#include "fetch/render_slots.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vela {
namespace {

struct Slots {
    std::mutex mutex;
    std::condition_variable freed;
    int limit = 1;
    int taken = 0;
};

Slots& TheSlots() {
    static Slots slots;
    return slots;
}

}  // namespace

void SetRenderSlots(int count) {
    Slots& slots = TheSlots();
    {
        std::lock_guard lock(slots.mutex);
        slots.limit = count < 1 ? 1 : count;
    }
    slots.freed.notify_all();
}

int RenderSlots() {
    Slots& slots = TheSlots();
    std::lock_guard lock(slots.mutex);
    return slots.limit;
}

RenderSlot::RenderSlot(const std::function<bool()>& stopRequested) {
    Slots& slots = TheSlots();
    std::unique_lock lock(slots.mutex);
    while (slots.taken >= slots.limit) {
        // The stop is a flag of the caller's, not a notification of ours: ask it
        // now and then while waiting.
        if (stopRequested && stopRequested()) return;
        slots.freed.wait_for(lock, std::chrono::milliseconds(50));
    }
    ++slots.taken;
    held_ = true;
}

RenderSlot::~RenderSlot() {
    if (!held_) return;
    Slots& slots = TheSlots();
    {
        std::lock_guard lock(slots.mutex);
        --slots.taken;
    }
    slots.freed.notify_one();
}

}  // namespace vela
