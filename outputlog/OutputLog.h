// The output pane: a coloured transcript that only ever grows at its end.
#pragma once

#include <string>

#include "RichEdit.h"

inline constexpr COLORREF logBackgroundColor = 0x00505050;
inline constexpr COLORREF logTextColor = 0x00FFFFFF;
inline constexpr COLORREF logLoginColor = 0x0080FF80;
inline constexpr COLORREF logCommandColor = 0x00FFA080;
inline constexpr COLORREF logDisconnectColor = 0x0080A0FF;

class OutputLog : public CRichEditCtrl {
 public:
  // Bold "Lucida Console" in white on dark grey, both scroll bars shown.
  void FormatAtStartUp();
  // What is appended next has `color`.
  void BeginColoredAppend(COLORREF color);
  // Adds `text` at the end, whatever caret or selection the user or a screen
  // reader set; those stay as they were.
  void AppendText(const std::string& text);
  // Scrolls the view down by the lines added since `before` was noted.
  void ScrollToNewLines(int before);
  void AppendColored(const std::string& text, COLORREF color);
};
