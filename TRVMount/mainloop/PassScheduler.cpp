#include "mainloop/PassScheduler.h"

#include <time.h>

#include <cerrno>
#include <utility>

namespace {

// Coalesces the bursts in which a platform writes (a mount, then its table
// line; several files in a row) into one pass.
const std::chrono::milliseconds kMinGap(5);

sigset_t OnlySigio()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGIO);
    return set;
}

timespec ToTimespec(std::chrono::steady_clock::duration duration)
{
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
    return timespec{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
}

}  // namespace

PassScheduler::PassScheduler(std::vector<WakeSource> sources, std::chrono::milliseconds period)
    : m_Period(period)
{
    for (WakeSource& source : sources) {
        if (source.fd >= 0) {
            m_Fds.push_back(pollfd{source.fd, source.events, 0});
            m_Sources.push_back(std::move(source));
        }
    }
    pthread_sigmask(SIG_SETMASK, nullptr, &m_WaitMask);
    sigdelset(&m_WaitMask, SIGIO);
}

void PassScheduler::HoldNotification()
{
    const sigset_t sigio = OnlySigio();
    pthread_sigmask(SIG_BLOCK, &sigio, nullptr);
}

bool PassScheduler::CollectChanges(bool polled)
{
    bool changed = false;
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGIO) == 1) {
        // Taken without running the handler: all it would do is set the
        // monitor's changed flag, which is set for good.
        const sigset_t sigio = OnlySigio();
        const timespec now{0, 0};
        sigtimedwait(&sigio, nullptr, &now);
        changed = true;
    }
    // A report is taken by the poll that sees it (the kernel's mount table):
    // after ppoll, its results are used, never polled for again.
    if (!m_Fds.empty() && (polled || poll(m_Fds.data(), m_Fds.size(), 0) > 0)) {
        for (size_t i = 0; i < m_Fds.size(); ++i) {
            if (m_Fds[i].revents != 0) {
                changed = m_Sources[i].drain() || changed;
            }
        }
    }
    return changed;
}

void PassScheduler::PauseUntil(std::chrono::steady_clock::time_point when)
{
    const auto rest = when - std::chrono::steady_clock::now();
    if (rest > rest.zero()) {
        const timespec pause = ToTimespec(rest);
        nanosleep(&pause, nullptr);
    }
    // What came during the pause is seen by the pass that follows it.
    CollectChanges();
}

PassScheduler::Wake PassScheduler::WaitForNextPass()
{
    const auto passEnd = std::chrono::steady_clock::now();
    if (CollectChanges() && !m_bLastDuringPass) {
        m_bLastDuringPass = true;
        PauseUntil(passEnd + kMinGap);
        return Wake::kChangeDuringPass;
    }
    m_bLastDuringPass = false;
    const auto deadline = passEnd + m_Period;
    for (;;) {
        const auto rest = deadline - std::chrono::steady_clock::now();
        if (rest <= rest.zero()) {
            return Wake::kPeriod;
        }
        const timespec timeout = ToTimespec(rest);
        const int ready = ppoll(m_Fds.data(), m_Fds.size(), &timeout, &m_WaitMask);
        if (ready == 0) {
            return Wake::kPeriod;
        }
        // EINTR: SIGIO came and its handler ran. Anything else readable may
        // be a change of no interest (another file in a watched directory).
        if ((ready < 0 && errno == EINTR) || (ready > 0 && CollectChanges(true))) {
            PauseUntil(passEnd + kMinGap);
            return Wake::kChange;
        }
        if (ready < 0) {
            PauseUntil(deadline);
            return Wake::kPeriod;
        }
    }
}
