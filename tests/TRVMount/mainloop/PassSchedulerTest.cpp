#include "mainloop/PassScheduler.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "mainloop/ReadyNotification.h"
#include "support/TempDir.h"

namespace {

using Wake = PassScheduler::Wake;

// What happens to the daemon before (or while) it waits for the next pass.
enum class Event {
    kNothing,
    kSigioDuringPass,      // a watched directory changed while the pass ran
    kChangeDuringPass,     // a wake source reported a change while the pass ran
    kOtherDuringPass,      // a wake source reported something of no interest
    kChangeWhileWaiting,   // a wake source reports a change during the wait
    kSigioWhileWaiting,    // a watched directory changes during the wait
};

struct Step {
    Event event;
    Wake wake;
};

struct WakeCase {
    const char* name;
    std::vector<Step> steps;
};

class NextPass : public testing::TestWithParam<WakeCase> {};

void Ignore(int) {}

TEST_P(NextPass, StartsAtOnceForAChangeButOnlyOnceForChangesDuringItsOwnPasses)
{
    int pipeFds[2];
    ASSERT_EQ(0, pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC));
    // A byte "y" is a change that matters, any other byte is not.
    WakeSource source{pipeFds[0], [fd = pipeFds[0]] {
                          char byte = 0;
                          bool changed = false;
                          while (read(fd, &byte, 1) == 1) {
                              changed = changed || byte == 'y';
                          }
                          return changed;
                      }};
    struct sigaction previous {};
    struct sigaction handler {};
    handler.sa_handler = Ignore;
    sigaction(SIGIO, &handler, &previous);
    sigset_t savedMask;
    pthread_sigmask(SIG_SETMASK, nullptr, &savedMask);
    PassScheduler::HoldNotification();
    {
        PassScheduler scheduler({source}, std::chrono::milliseconds(100));
        const pthread_t waiter = pthread_self();
        for (const Step& step : GetParam().steps) {
            std::thread during;
            switch (step.event) {
            case Event::kSigioDuringPass: raise(SIGIO); break;
            case Event::kChangeDuringPass: ASSERT_EQ(1, write(pipeFds[1], "y", 1)); break;
            case Event::kOtherDuringPass: ASSERT_EQ(1, write(pipeFds[1], "n", 1)); break;
            case Event::kChangeWhileWaiting:
            case Event::kSigioWhileWaiting:
                during = std::thread([&, event = step.event] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    if (event == Event::kChangeWhileWaiting) {
                        EXPECT_EQ(1, write(pipeFds[1], "y", 1));
                    } else {
                        pthread_kill(waiter, SIGIO);
                    }
                });
                break;
            case Event::kNothing: break;
            }
            EXPECT_EQ(step.wake, scheduler.WaitForNextPass());
            if (during.joinable()) {
                during.join();
            }
        }
    }
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    sigaction(SIGIO, &previous, nullptr);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NextPass,
    testing::Values(
        WakeCase{"NothingWaitsForThePeriod", {{Event::kNothing, Wake::kPeriod}}},
        WakeCase{"ADirectoryChangeDuringAPass", {{Event::kSigioDuringPass, Wake::kChangeDuringPass}}},
        WakeCase{"AMountDuringAPass", {{Event::kChangeDuringPass, Wake::kChangeDuringPass}}},
        WakeCase{"SomethingOfNoInterest", {{Event::kOtherDuringPass, Wake::kPeriod}}},
        WakeCase{"AMountWhileWaiting", {{Event::kChangeWhileWaiting, Wake::kChange}}},
        WakeCase{"ADirectoryChangeWhileWaiting", {{Event::kSigioWhileWaiting, Wake::kChange}}},
        // Passes whose own writes raise notifications never run back to back.
        WakeCase{"AChangeDuringAPassThatAChangeStartedWaits",
                 {{Event::kSigioDuringPass, Wake::kChangeDuringPass},
                  {Event::kSigioDuringPass, Wake::kPeriod},
                  {Event::kChangeDuringPass, Wake::kChangeDuringPass},
                  {Event::kChangeDuringPass, Wake::kPeriod}}}),
    [](const testing::TestParamInfo<WakeCase>& info) { return std::string(info.param.name); });

TEST(ReadyNotification, SaysReadyAfterTheFirstPassThenEveryChangedStatus)
{
    TempDir dir;
    const std::string path = dir / "notify";
    const int socketFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(0, bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    ReadyNotification ready;
    std::string received;
    for (const char* status : {"no device linked", "no device linked", "/tmp/ZentrixTRV -> /media/sdb1"}) {
        ready.AfterPass(status);
        char message[256];
        const ssize_t length = recv(socketFd, message, sizeof(message), 0);
        received += (length > 0 ? std::string(message, static_cast<size_t>(length)) : "(nothing)") + "|";
    }
    unsetenv("NOTIFY_SOCKET");
    close(socketFd);
    EXPECT_EQ("READY=1\nSTATUS=no device linked|(nothing)|STATUS=/tmp/ZentrixTRV -> /media/sdb1|", received);
}

}  // namespace
