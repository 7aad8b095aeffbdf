// The owner's thread of every session of a run: posted calls run on the
// main thread, one at a time, in the order they came.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class EventLoop {
 public:
  // Callable from any thread.
  void Post(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_calls.push_back(std::move(call));
    }
    m_posted.notify_one();
  }
  // Runs posted calls until done() holds after one of them.
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_posted.wait(lock, [this] { return !m_calls.empty(); });
        call = std::move(m_calls.front());
        m_calls.pop_front();
      }
      call();
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<std::function<void()>> m_calls;
};
