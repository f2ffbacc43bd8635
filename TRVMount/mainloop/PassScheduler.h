#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <vector>

#include "monitor/WakeSource.h"

// When the next pass runs: a period after the last one, or as soon as a
// watched directory (SIGIO) or a wake source reports a change, but never
// sooner than a few milliseconds after the last pass. A change reported
// during a pass starts the next pass at once; a change reported during that
// pass too (which may be the pass's own writes, say a link path inside a
// watched directory) waits for a new change or the period, so passes never run
// back to back.
class PassScheduler {
public:
    enum class Wake { kPeriod, kChange, kChangeDuringPass };

    explicit PassScheduler(std::vector<WakeSource> sources,
                           std::chrono::milliseconds period = std::chrono::seconds(1));

    // Holds SIGIO back from now on: it is let through only while the
    // scheduler waits, so a notification is never lost between a pass and the
    // wait, and never breaks into a pass.
    static void HoldNotification();

    // Returns when the next pass is due, and why.
    Wake WaitForNextPass();

private:
    // Takes in what was reported since the last look (polled: what the last
    // ppoll returned); true when that was a change.
    bool CollectChanges(bool polled = false);
    void PauseUntil(std::chrono::steady_clock::time_point when);

    std::vector<WakeSource> m_Sources;
    std::vector<pollfd> m_Fds;
    std::chrono::milliseconds m_Period;
    sigset_t m_WaitMask;  // the thread's mask with SIGIO let through
    bool m_bLastDuringPass = false;
};
