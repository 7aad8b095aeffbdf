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

void OutputLog::BeginColoredAppend(COLORREF color) {
  const long n = GetWindowTextLength();
  SetSel(n, n);
  CHARFORMAT cf;
  GetDefaultCharFormat(cf);
  cf.dwMask = CFM_COLOR;
  cf.crTextColor = color;
  SetSelectionCharFormat(cf);
}

void OutputLog::AppendText(const std::string& text) { ReplaceSel(text); }

void OutputLog::ScrollToNewLines(int before) { LineScroll(GetLineCount() - before); }

void OutputLog::AppendColored(const std::string& text, COLORREF color) {
  BeginColoredAppend(color);
  const int before = GetLineCount();
  AppendText(text);
  ScrollToNewLines(before);
}
