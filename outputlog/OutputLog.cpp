#include "OutputLog.h"

void OutputLog::FormatAtStartUp() {
  ShowScrollBars(true);
  SetFace("Lucida Console", true);
}

// The caret stays where the user left it: appends go to the end by themselves.
void OutputLog::BeginAppend(TranscriptKind kind) { SetAppendKind(kind); }

void OutputLog::AppendText(const std::string& text) { AppendAtEnd(text); }

void OutputLog::ScrollToNewLines(int before) { LineScroll(GetLineCount() - before); }

void OutputLog::AppendKind(const std::string& text, TranscriptKind kind) {
  BeginAppend(kind);
  const int before = GetLineCount();
  AppendText(text);
  ScrollToNewLines(before);
}
