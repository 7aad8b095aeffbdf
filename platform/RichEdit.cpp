#include "RichEdit.h"

#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {
QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }
}  // namespace platform

using platform::PaneWidget;

namespace {
PaneWidget* Pane(HWND h) { return static_cast<PaneWidget*>(platform::W(h)); }
}  // namespace

void CRichEditCtrl::ShowScrollBars(BOOL show) {
  const auto policy = show ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
  Pane(m_hWnd)->setVerticalScrollBarPolicy(policy);
  Pane(m_hWnd)->setHorizontalScrollBarPolicy(policy);
}

void CRichEditCtrl::EnableScrollBars(BOOL enable) {
  Pane(m_hWnd)->verticalScrollBar()->setEnabled(enable);
  Pane(m_hWnd)->horizontalScrollBar()->setEnabled(enable);
}

void CRichEditCtrl::GetDefaultCharFormat(CHARFORMAT& cf) const {
  PaneWidget* p = Pane(m_hWnd);
  const QFont f = p->PaneFont();
  cf.dwMask = CFM_BOLD | CFM_FACE;
  cf.dwEffects = f.bold() ? CFE_BOLD : 0;
  cf.szFaceName = platform::ToCp1252(f.family());
}

void CRichEditCtrl::SetDefaultCharFormat(const CHARFORMAT& cf) {
  CHARFORMAT cur;
  GetDefaultCharFormat(cur);
  const bool bold = (cf.dwMask & CFM_BOLD) ? (cf.dwEffects & CFE_BOLD) != 0 : (cur.dwEffects & CFE_BOLD) != 0;
  const std::string face = (cf.dwMask & CFM_FACE) ? cf.szFaceName : cur.szFaceName;
  Pane(m_hWnd)->SetDefaultFormat(face, bold);
}

void CRichEditCtrl::ShowTranscript(Transcript* transcript) { Pane(m_hWnd)->Show(transcript); }

void CRichEditCtrl::SetAppendKind(TranscriptKind kind) { Pane(m_hWnd)->Model().SetInsertKind(kind); }

long CRichEditCtrl::GetWindowTextLength() const { return static_cast<long>(Pane(m_hWnd)->Model().Length()); }
void CRichEditCtrl::SetSel(long start, long end) { Pane(m_hWnd)->MoveCaret(start, end); }
void CRichEditCtrl::AppendAtEnd(const std::string& text) { Pane(m_hWnd)->Append(text); }
// Line numbers go on across drops; past INT_MAX (2^31 lines in one window)
// they stay there, so differences of them are 0, never a wrap.
int CRichEditCtrl::GetLineCount() const {
  return static_cast<int>(std::min<Transcript::Pos>(Pane(m_hWnd)->Model().LineCount(), INT_MAX));
}
void CRichEditCtrl::LineScroll(int lines) { Pane(m_hWnd)->ScrollLines(lines); }
void CRichEditCtrl::AddMenuExtension(PaneMenuExtension extension) {
  Pane(m_hWnd)->AddMenuExtension(std::move(extension));
}

std::string CRichEditCtrl::GetText() const { return Pane(m_hWnd)->Model().Text(); }

COLORREF CRichEditCtrl::GetColorAt(long position) const { return KindColor(Pane(m_hWnd)->Model().KindAt(position)); }

int CRichEditCtrl::GetFirstVisibleLine() const { return Pane(m_hWnd)->FirstVisibleLine(); }

int CRichEditCtrl::GetVisibleLineCount() const { return Pane(m_hWnd)->VisibleLines(); }

bool CRichEditCtrl::EndsWith(const std::string& text) const {
  const auto& m = Pane(m_hWnd)->Model();
  const auto n = static_cast<long>(text.size());
  return m.Length() >= n && m.Text(m.Length() - n, m.Length()) == text;
}

bool CRichEditCtrl::SaveTranscript(const std::string& path, bool withTimes) {
  return Pane(m_hWnd)->SaveTo(platform::FromCp1252(path), withTimes);
}
