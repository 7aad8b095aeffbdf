// Hands work to the thread that runs the windows, from any thread.
#pragma once

#include <functional>

namespace platform {

// Runs `call` on the main thread at its event loop's next turn; calls run in
// the order they were posted.
void PostToMainThread(std::function<void()> call);

}  // namespace platform
