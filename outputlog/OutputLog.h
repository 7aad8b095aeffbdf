// The output pane: a transcript that only ever grows at its end, each piece
// of one kind of text; the pane's palette colours the kinds.
#pragma once

#include <string>

#include "PaneControl.h"

class OutputLog : public platform::PaneControl {
 public:
  // Bold "Lucida Console", both scroll bars shown.
  void FormatAtStartUp();
  // What is appended next is of `kind`; a reply goes on in the kind of its exchange.
  void BeginAppend(TranscriptKind kind);
  // Adds `text` at the end, whatever caret or selection the user or a screen
  // reader set; those stay as they were.
  void AppendText(const std::string& text);
  // Scrolls the view down by the lines added since `before` was noted.
  void ScrollToNewLines(int before);
  // Appends `text` of `kind` and scrolls down to it.
  void AppendKind(const std::string& text, TranscriptKind kind);
};
