#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

void platform::PostToMainThread(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;  // the program is ending: nobody is left to tell
  QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

namespace {

class MainThreadTimer : public Timer {
 public:
  MainThreadTimer() {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (m_tick) m_tick();
    });
  }
  void Start(unsigned milliseconds, std::function<void()> tick) override {
    m_tick = std::move(tick);
    m_timer.start(static_cast<int>(std::min<unsigned>(milliseconds, 0x7FFFFFFF)));
  }
  void Stop() override { m_timer.stop(); }

 private:
  QTimer m_timer;
  std::function<void()> m_tick;
};

}  // namespace

std::unique_ptr<Timer> platform::MakeMainThreadTimer() { return std::make_unique<MainThreadTimer>(); }
