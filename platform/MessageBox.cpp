#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "internal/Cp1252.h"

namespace platform {
namespace {
MessageBoxPresenter g_presenter;
int g_openBoxes = 0;

int ShowReal(QWidget* parent, const MessageBoxCall& call) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if ((call.type & 0xF0) == kBoxError) icon = QMessageBox::Critical;
  if ((call.type & 0xF0) == kBoxWarning) icon = QMessageBox::Warning;
  const bool yesNo = (call.type & 0x0F) == kBoxYesNo;
  QMessageBox box(icon, FromCp1252(call.caption), FromCp1252(call.text),
                  yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  if (yesNo) {
    // A box that asks whether to trust something defaults to the safe answer when it says so.
    // Space presses the button with the focus, Enter the default one: both
    // are the safe answer when the box says so.
    QAbstractButton* first = box.button((call.type & kBoxNoByDefault) ? QMessageBox::No : QMessageBox::Yes);
    box.setDefaultButton(static_cast<QPushButton*>(first));
    box.setEscapeButton(QMessageBox::No);
    QTimer::singleShot(0, first, [first] { first->setFocus(Qt::OtherFocusReason); });
  }
  const int pressed = box.exec();
  if (yesNo) return pressed == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
  return kAnswerOk;
}
}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) { g_presenter = std::move(presenter); }

int ShowMessageBox(QWidget* parent, const MessageBoxCall& call) {
  ++g_openBoxes;
  const int answer = g_presenter ? g_presenter(call) : ShowReal(parent, call);
  --g_openBoxes;
  return answer;
}

bool IsMessageBoxOpen() { return g_openBoxes > 0; }

}  // namespace platform
