// Every message box of the program goes through one presenter, so tests can
// see and answer boxes instead of being blocked by them.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace platform {

// What a box shows: its buttons and icon, and whether No is the default.
// Combined with |; tests compare the numbers.
enum BoxType : unsigned {
  kBoxOk = 0x00,
  kBoxYesNo = 0x04,
  kBoxError = 0x10,
  kBoxWarning = 0x30,
  kBoxNoByDefault = 0x100,
};
// The button pressed.
enum BoxAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

struct MessageBoxCall {
  std::string text;     // Windows-1252
  std::string caption;  // Windows-1252
  unsigned type;        // BoxType values
};

using MessageBoxPresenter = std::function<int(const MessageBoxCall&)>;

// Replaces the presenter; an empty function restores the real boxes.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows a box (modal over parent, or over nothing) and returns the button pressed.
int ShowMessageBox(QWidget* parent, const MessageBoxCall& call);

// True while a box is open; focus changes then are not the user's doing.
bool IsMessageBoxOpen();

}  // namespace platform
