// Hears a socket while no exchange runs, without polling: the event loop
// wakes only when the descriptor has something to read.
#pragma once

#include <functional>
#include <memory>

#include "ControlConnection.h"

namespace platform {

// ready() runs from the event loop whenever fd has bytes, a close or an error
// waiting; never during a socket call's wait, which pumps the same loop. The
// watch may be destroyed from inside ready().
std::unique_ptr<LineWatch> WatchDescriptor(int fd, std::function<void()> ready);

}  // namespace platform
