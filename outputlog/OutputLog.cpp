#include "OutputLog.h"

void OutputLog::FormatAtStartUp() {
  ShowScrollBars(TRUE);
  EnableScrollBars(TRUE);
  SetBackgroundColor(logBackgroundColor);
  CHARFORMAT cf;
  GetDefaultCharFormat(cf);
  cf.dwMask = CFM_BOLD | CFM_FACE | CFM_COLOR;
  cf.dwEffects = CFE_BOLD;  // and automatic colour off
  cf.crTextColor = logTextColor;
  cf.szFaceName = "Lucida Console";
  SetDefaultCharFormat(cf);
}

// The caret stays where the user left it: appends go to the end by themselves.
void OutputLog::BeginColoredAppend(COLORREF color) {
  CHARFORMAT cf;
  GetDefaultCharFormat(cf);
  cf.dwMask = CFM_COLOR;
  cf.crTextColor = color;
  SetSelectionCharFormat(cf);
}

void OutputLog::AppendText(const std::string& text) { AppendAtEnd(text); }

void OutputLog::ScrollToNewLines(int before) { LineScroll(GetLineCount() - before); }

void OutputLog::AppendColored(const std::string& text, COLORREF color) {
  BeginColoredAppend(color);
  const int before = GetLineCount();
  AppendText(text);
  ScrollToNewLines(before);
}
