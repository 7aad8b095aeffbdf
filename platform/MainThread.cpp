#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

void platform::PostToMainThread(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;  // the program is ending: nobody is left to tell
  QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}
