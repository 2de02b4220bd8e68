// The browser's tasks: each one a message posted to a message-only window of the calling
// thread, so tasks keep FIFO order with the application's own messages and run inside
// whatever loop pumps them.
#pragma once

#include <functional>

namespace kv::browser {

// Posts `task` to the calling thread's task window. A task posted on a thread that never
// pumps again is freed with the window at thread exit, unrun.
void PostTask(std::function<void()> task);

}  // namespace kv::browser
