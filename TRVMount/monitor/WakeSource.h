#pragma once

#include <poll.h>

#include <functional>

// A descriptor that polls ready (for events) when something a pass reads has
// changed, so the next pass can start at once. drain consumes what made it
// ready and says whether that was a change that matters. An fd of -1 watches
// nothing.
struct WakeSource {
    int fd = -1;
    std::function<bool()> drain;
    short events = POLLIN;
};
