#include "LineWatch.h"

#include <QSocketNotifier>

#include "internal/Widgets.h"

namespace {

class NotifierWatch : public LineWatch {
 public:
  NotifierWatch(int fd, std::function<void()> ready)
      : m_notifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)) {
    auto inReady = m_inReady;
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [inReady, ready = std::move(ready)] {
                       if (*inReady || platform::InSocketWait()) return;
                       *inReady = true;
                       ready();
                       *inReady = false;
                     });
  }

  ~NotifierWatch() override {
    m_notifier->setEnabled(false);
    // Destroyed from its own signal: the notifier goes once the signal is over.
    if (*m_inReady) m_notifier.release()->deleteLater();
  }

  void SetEnabled(bool enabled) override { m_notifier->setEnabled(enabled); }

 private:
  std::shared_ptr<bool> m_inReady = std::make_shared<bool>(false);
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace

std::unique_ptr<LineWatch> platform::WatchDescriptor(int fd, std::function<void()> ready) {
  return std::make_unique<NotifierWatch>(fd, std::move(ready));
}
