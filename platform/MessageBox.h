// Every message box of the program goes through one presenter, so tests can
// see and answer boxes instead of being blocked by them.
#pragma once

#include <functional>
#include <string>

#include "Types.h"

namespace platform {

struct MessageBoxCall {
  std::string text;     // Windows-1252
  std::string caption;  // Windows-1252
  UINT type;
};

using MessageBoxPresenter = std::function<int(const MessageBoxCall&)>;

// Replaces the presenter; an empty function restores the real boxes.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows a box (modal over `parent`, an opaque window handle or null) and returns the button pressed.
int ShowMessageBox(void* parent, const MessageBoxCall& call);

// True while a box is open; focus changes then are not the user's doing.
bool IsMessageBoxOpen();

}  // namespace platform
