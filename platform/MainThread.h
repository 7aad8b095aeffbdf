// Hands work to the thread that runs the windows, from any thread.
#pragma once

#include <functional>
#include <memory>

#include "Session.h"

namespace platform {

// Runs `call` on the main thread at its event loop's next turn; calls run in
// the order they were posted.
void PostToMainThread(std::function<void()> call);

// A single-shot timer on the main thread's loop, precise to the millisecond
// (a coarse one may be 5 % late: an anti-idle period of six minutes would
// then run 18 s over).
std::unique_ptr<Timer> MakeMainThreadTimer();

}  // namespace platform
