// The Qt widgets behind the window wrappers. Only platform sources include this.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCharFormat>
#include <string>

#include "../Types.h"
#include "../Window.h"

class CDialog;

namespace platform {

inline QWidget* W(HWND h) { return reinterpret_cast<QWidget*>(h); }
inline HWND H(QWidget* w) { return reinterpret_cast<HWND>(w); }

QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);

// True while any dialog waits on the socket; notifications then are not the user's.
bool InSocketWait();

class DialogWindow : public QDialog {
 public:
  DialogWindow(CDialog* owner, QWidget* parent = nullptr) : QDialog(parent), m_owner(owner) {}
  void reject() override;
  void accept() override {}

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  CDialog* m_owner;
};

// Push buttons click on Enter when they have the focus, and never act as the default button.
class FlatButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// A drop-down list whose closed field shows an item of two lines on one line,
// both lines readable; the open list shows them as two lines.
class ListCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// The output pane. Text appended at the end is collected in cp1252 bytes and
// inserted into the document in one piece per batch.
class PaneWidget : public QPlainTextEdit {
 public:
  explicit PaneWidget(QWidget* parent);

  void SetInsertColor(COLORREF c);
  COLORREF InsertColor() const { return m_insertColor; }
  void SetDefaultFormat(const std::string& face, bool bold, COLORREF color);
  long TextLength() const;
  void MoveCaret(long start, long end);
  void Insert(const std::string& text);
  int LineCount() const;
  void ScrollLines(int lines);
  void Flush();

 protected:
  bool event(QEvent* e) override;

 private:
  QTextCharFormat FormatFor(COLORREF c) const;
  void ScheduleFlush();

  std::string m_pending;  // bytes waiting to be appended, all in m_pendingColor
  COLORREF m_pendingColor = 0;
  int m_pendingNewlines = 0;
  int m_pendingScroll = 0;  // lines to scroll once the pending text is in
  COLORREF m_insertColor = 0x00FFFFFF;
  bool m_caretAtEnd = true;
  bool m_flushScheduled = false;
  bool m_selfEdit = false;
  QFont m_font;
};

}  // namespace platform
