#include "RichEdit.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

namespace {
QString MonospaceFace(const std::string& wanted) {
  const QString face = FromCp1252(wanted);
  if (QFontDatabase::families().contains(face, Qt::CaseInsensitive)) return face;
  return QStringLiteral("DejaVu Sans Mono");
}
}  // namespace

PaneWidget::PaneWidget(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setUndoRedoEnabled(false);  // the program's appends are never undone, and undo would double the memory
  setFrameShape(QFrame::StyledPanel);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    if (m_selfEdit) return;
    const QTextCursor c = textCursor();
    m_caretAtEnd = !c.hasSelection() && c.position() == document()->characterCount() - 1;
  });
}

QTextCharFormat PaneWidget::FormatFor(COLORREF c) const {
  QTextCharFormat f;
  f.setFont(m_font);
  f.setForeground(ToQColor(c));
  return f;
}

void PaneWidget::SetDefaultFormat(const std::string& face, bool bold, COLORREF color) {
  Flush();
  m_font = font();
  m_font.setFamily(MonospaceFace(face));
  m_font.setStyleHint(QFont::Monospace);
  m_font.setBold(bold);
  document()->setDefaultFont(m_font);
  setFont(m_font);
  QPalette p = palette();
  p.setColor(QPalette::Text, ToQColor(color));
  setPalette(p);
  m_insertColor = color;
  setCurrentCharFormat(FormatFor(color));
}

void PaneWidget::SetInsertColor(COLORREF c) { m_insertColor = c; }

long PaneWidget::TextLength() const { return document()->characterCount() - 1 + static_cast<long>(m_pending.size()); }

void PaneWidget::MoveCaret(long start, long end) {
  Flush();
  const long len = document()->characterCount() - 1;
  if (start < 0) start = 0;
  if (end < 0 || end > len) end = len;
  if (start > len) start = len;
  QTextCursor c = textCursor();
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  m_selfEdit = true;
  setTextCursor(c);
  m_selfEdit = false;
  m_caretAtEnd = start == len && end == len;
}

void PaneWidget::Insert(const std::string& text) {
  if (text.empty()) return;
  if (!m_caretAtEnd) {
    Flush();
    m_selfEdit = true;
    QTextCursor c = textCursor();
    c.insertText(FromCp1252(text), FormatFor(m_insertColor));
    setTextCursor(c);
    m_selfEdit = false;
    return;
  }
  if (!m_pending.empty() && m_pendingColor != m_insertColor) Flush();
  m_pendingColor = m_insertColor;
  // The document starts a new line at LF, at CR, and once for CR LF.
  char prev = m_pending.empty() ? '\0' : m_pending.back();
  for (char ch : text) {
    if (ch == '\r' || (ch == '\n' && prev != '\r')) ++m_pendingNewlines;
    prev = ch;
  }
  m_pending += text;
  ScheduleFlush();
}

void PaneWidget::ScheduleFlush() {
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  QTimer::singleShot(0, this, [this] {
    m_flushScheduled = false;
    Flush();
  });
}

void PaneWidget::Flush() {
  if (!m_pending.empty()) {
    m_selfEdit = true;
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(FromCp1252(m_pending), FormatFor(m_pendingColor));
    m_selfEdit = false;
    m_pending.clear();
    m_pending.shrink_to_fit();
    m_pendingNewlines = 0;
  }
  if (m_pendingScroll != 0) {
    QScrollBar* sb = verticalScrollBar();
    sb->setValue(sb->value() + m_pendingScroll);
    m_pendingScroll = 0;
  }
}

int PaneWidget::LineCount() const { return document()->blockCount() + m_pendingNewlines; }

// A scroll is relative to the view, so it waits with the text it scrolls to;
// both reach the widget together at the next flush.
void PaneWidget::ScrollLines(int lines) {
  if (lines == 0) return;
  m_pendingScroll += lines;
  ScheduleFlush();
}

bool PaneWidget::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::InputMethod:
    case QEvent::ShortcutOverride:
      Flush();  // the user acts on the text as it is shown
      break;
    default:
      break;
  }
  return QPlainTextEdit::event(e);
}

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

void CRichEditCtrl::SetBackgroundColor(COLORREF color) {
  PaneWidget* p = Pane(m_hWnd);
  QPalette pal = p->palette();
  pal.setColor(QPalette::Base, platform::ToQColor(color));
  p->setPalette(pal);
}

void CRichEditCtrl::GetDefaultCharFormat(CHARFORMAT& cf) const {
  PaneWidget* p = Pane(m_hWnd);
  const QFont f = p->document()->defaultFont();
  cf.dwMask = CFM_BOLD | CFM_FACE | CFM_COLOR;
  cf.dwEffects = f.bold() ? CFE_BOLD : 0;
  cf.crTextColor = platform::FromQColor(p->palette().color(QPalette::Text));
  cf.szFaceName = platform::ToCp1252(f.family());
}

void CRichEditCtrl::SetDefaultCharFormat(const CHARFORMAT& cf) {
  CHARFORMAT cur;
  GetDefaultCharFormat(cur);
  const bool bold = (cf.dwMask & CFM_BOLD) ? (cf.dwEffects & CFE_BOLD) != 0 : (cur.dwEffects & CFE_BOLD) != 0;
  const std::string face = (cf.dwMask & CFM_FACE) ? cf.szFaceName : cur.szFaceName;
  const COLORREF color = (cf.dwMask & CFM_COLOR) ? cf.crTextColor : cur.crTextColor;
  Pane(m_hWnd)->SetDefaultFormat(face, bold, color);
}

void CRichEditCtrl::SetSelectionCharFormat(const CHARFORMAT& cf) {
  if (cf.dwMask & CFM_COLOR) Pane(m_hWnd)->SetInsertColor(cf.crTextColor);
}

long CRichEditCtrl::GetWindowTextLength() const { return Pane(m_hWnd)->TextLength(); }
void CRichEditCtrl::SetSel(long start, long end) { Pane(m_hWnd)->MoveCaret(start, end); }
void CRichEditCtrl::ReplaceSel(const std::string& text) { Pane(m_hWnd)->Insert(text); }
int CRichEditCtrl::GetLineCount() const { return Pane(m_hWnd)->LineCount(); }
void CRichEditCtrl::LineScroll(int lines) { Pane(m_hWnd)->ScrollLines(lines); }

std::string CRichEditCtrl::GetText() const {
  Pane(m_hWnd)->Flush();
  // The raw text keeps no-break spaces; only the paragraph marks become line feeds.
  QString text = Pane(m_hWnd)->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return platform::ToCp1252(text);
}

COLORREF CRichEditCtrl::GetColorAt(long position) const {
  PaneWidget* p = Pane(m_hWnd);
  p->Flush();
  QTextCursor c(p->document());
  c.setPosition(std::min<long>(position + 1, p->document()->characterCount() - 1));
  return platform::FromQColor(c.charFormat().foreground().color());
}

int CRichEditCtrl::GetFirstVisibleLine() const {
  PaneWidget* p = Pane(m_hWnd);
  p->Flush();
  return p->verticalScrollBar()->value();
}
