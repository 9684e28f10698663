#include "settings/internal/LockWait.h"

#include <algorithm>
#include <thread>

namespace RegTools::Detail {

bool LockWait::Pause(int attempt) const
{
    const auto left = m_deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
        return false;
    }
    // Short pauses first: most locks are held for a moment only.
    const std::chrono::steady_clock::duration pause =
        std::chrono::milliseconds(std::min(1 << std::min(attempt, 6), 50));
    std::this_thread::sleep_for(std::min(pause, left));
    return true;
}

int LockWait::OnBusy(void* wait, int attempt)
{
    return static_cast<const LockWait*>(wait)->Pause(attempt) ? 1 : 0;
}

} // namespace RegTools::Detail
