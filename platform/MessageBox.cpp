#include "MessageBox.h"

#include <QMessageBox>

#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {
namespace {
MessageBoxPresenter g_presenter;
int g_openBoxes = 0;

int ShowReal(void* parent, const MessageBoxCall& call) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if ((call.type & 0xF0) == MB_ICONHAND) icon = QMessageBox::Critical;
  if ((call.type & 0xF0) == MB_ICONEXCLAMATION) icon = QMessageBox::Warning;
  QMessageBox box(icon, FromCp1252(call.caption), FromCp1252(call.text), QMessageBox::Ok, W(static_cast<HWND>(parent)));
  box.setTextFormat(Qt::PlainText);
  box.exec();
  return IDOK;
}
}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) { g_presenter = std::move(presenter); }

int ShowMessageBox(void* parent, const MessageBoxCall& call) {
  ++g_openBoxes;
  const int answer = g_presenter ? g_presenter(call) : ShowReal(parent, call);
  --g_openBoxes;
  return answer;
}

bool IsMessageBoxOpen() { return g_openBoxes > 0; }

}  // namespace platform
