#pragma once

#include <functional>

// How many browser renders may run at once, across every thread of the process: a
// render takes hundreds of MiB and a core, so a cycle of many browser schemes must
// not start them all together.

namespace vela {

// Sets how many renders may run at once (at least 1; 1 until set).
void SetRenderSlots(int count);
int RenderSlots();

// Holds one slot for its life. Waiting for it is cut short by `stopRequested`
// (asked every 50 ms), and then `Held()` is false.
class RenderSlot {
public:
    explicit RenderSlot(const std::function<bool()>& stopRequested);
    ~RenderSlot();
    RenderSlot(const RenderSlot&) = delete;
    RenderSlot& operator=(const RenderSlot&) = delete;

    bool Held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace vela
