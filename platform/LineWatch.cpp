#include "LineWatch.h"

#include <QSocketNotifier>
#include <QTimer>

#include "internal/Widgets.h"

namespace {

class NotifierWatch : public LineWatch {
 public:
  NotifierWatch(int fd, std::function<void()> ready)
      : m_notifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)) {
    auto inReady = m_inReady;
    m_ready = [inReady, ready = std::move(ready)] {
      if (*inReady || platform::InSocketWait()) return;
      *inReady = true;
      ready();
      *inReady = false;
    };
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), m_ready);
  }

  ~NotifierWatch() override {
    m_notifier->setEnabled(false);
    // Destroyed from its own signal: the notifier goes once the signal is over.
    if (*m_inReady) m_notifier.release()->deleteLater();
  }

  void SetEnabled(bool enabled) override { m_notifier->setEnabled(enabled); }

  // Queued on the notifier, so it is dropped with the watch; a call that
  // finds the watch off (an exchange runs, which reads the rest itself) does
  // nothing.
  void CallAgain() override {
    QSocketNotifier* notifier = m_notifier.get();
    QTimer::singleShot(0, notifier, [notifier, ready = m_ready] {
      if (notifier->isEnabled()) ready();
    });
  }

 private:
  std::shared_ptr<bool> m_inReady = std::make_shared<bool>(false);
  std::function<void()> m_ready;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace

std::unique_ptr<LineWatch> platform::WatchDescriptor(int fd, std::function<void()> ready) {
  return std::make_unique<NotifierWatch>(fd, std::move(ready));
}
