// The thread that owns sessions when no Qt event loop runs there (the
// command-line runner, tests, benchmarks): posted calls run on it one at a
// time, in the order they came.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

class OwnerLoop {
 public:
  // Callable from any thread.
  void Post(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_calls.push_back(std::move(call));
    }
    m_posted.notify_all();
  }
  // What a session's services take to reach this loop.
  std::function<void(std::function<void()>)> Poster() {
    return [this](std::function<void()> call) { Post(std::move(call)); };
  }
  // Runs posted calls until done() holds; with a limit (zero: none), false
  // when it passed first.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::milliseconds::zero()) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto ready = [this] { return !m_calls.empty(); };
        if (limit == std::chrono::milliseconds::zero())
          m_posted.wait(lock, ready);
        else if (!m_posted.wait_until(lock, end, ready))
          return done();
        call = std::move(m_calls.front());
        m_calls.pop_front();
      }
      call();
    }
    return true;
  }
  std::size_t Pending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.size();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<std::function<void()>> m_calls;
};
