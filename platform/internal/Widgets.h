// The pane and its find bar. Only platform sources include this.
#pragma once

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>

#include "../Controls.h"
#include "../PaneMenu.h"
#include "../Palette.h"
#include "Transcript.h"

namespace platform {

// The output pane: draws only the visible lines of its transcript, so its
// cost does not grow with the transcript's length. Appends change the model
// at once; scroll bars, pending scrolls and accessibility events follow in
// one batch at the next event-loop turn (or when something reads the view).
class FindBar;
class PaneWidget : public QAbstractScrollArea, private Transcript::View {
 public:
  explicit PaneWidget(QWidget* parent);
  ~PaneWidget() override;

  // The transcript the pane shows is someone else's (the session's); until
  // one is given, and once it is gone, the pane shows an empty one.
  void Show(Transcript* transcript);
  Transcript& Model() { return *m_model; }
  const Transcript& Model() const { return *m_model; }

  void SetDefaultFormat(const std::string& face, bool bold);
  QFont PaneFont() const { return m_font; }
  // The transcript's runs in the palette's colours: `f(from, to, colour)`
  // for each stretch of one colour within from..to, and the stretch around
  // `pos` with its colour.
  void ForEachColourRun(Transcript::Pos from, Transcript::Pos to,
                        const std::function<void(Transcript::Pos, Transcript::Pos, palette::Colour)>& f) const;
  palette::Colour ColourRunAround(Transcript::Pos pos, Transcript::Pos& from, Transcript::Pos& to) const;
  // Programmatic caret and text changes (the rich-edit operations). Append
  // adds at the end and leaves the user's caret and selection alone.
  void MoveCaret(long start, long end);
  void Append(const std::string& text);
  void ScrollLines(int lines);
  int FirstVisibleLine();
  int VisibleLines() const;
  void Flush(bool repaint = true);

  // The user's commands.
  void Copy();
  void SelectAll();
  void ShowFindBar();
  // Searches from the selection; wraps around once. False when nothing matches.
  bool Find(const std::string& needle, bool forward, bool matchCase, bool fromSelectionStart = false);
  void SaveAs();
  // Writes the transcript atomically; on failure shows a box and returns false.
  bool SaveTo(const QString& path, bool withTimes);
  void ClearTranscript();
  bool ShowTimes() const { return m_showTimes; }
  // Items of the pane's owners, asked for each time the context menu opens.
  void SetShowTimes(bool show, bool remember = true);
  FindBar* Bar() const { return m_findBar.get(); }
  void AddMenuExtension(PaneMenuExtension extension) { m_menuExtensions.push_back(std::move(extension)); }
  // Places the find bar above the text while it is shown.
  void LayoutFindBar();

  // Geometry, for painting, hit tests and the accessible text.
  QRect CharacterRect(Transcript::Pos pos) const;
  Transcript::Pos PosAt(const QPoint& viewportPoint) const;
  void EnsureVisible(Transcript::Pos pos);
  void SetSelectionByUser(Transcript::Pos anchor, Transcript::Pos caret);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void ScheduleFlush();
  void SyncScrollBars();
  void UpdateMetrics();
  void OnAppended(Transcript::Pos from, Transcript::Pos to) override;
  void OnDropped(const Transcript::Snapshot& removed, Transcript::Pos marker) override;
  void OnTranscriptGone() override;
  void Adopt(Transcript& model);
  // The view's first row is this line of the model.
  Transcript::Pos FirstRowLine() const;
  void NoteInserted(Transcript::Pos at, Transcript::Pos end);
  void SendPendingInsert();
  void UserEdit(const std::string& text, bool deleteBackward, bool deleteForward);
  int TextLeft() const { return m_gutter + kMargin; }
  QString TimeText(std::time_t t) const;

  static constexpr int kMargin = 4;
  Transcript m_blank;
  Transcript* m_model = &m_blank;  // never null
  QFont m_font;
  QColor m_background;
  int m_charWidth = 8;
  int m_lineHeight = 14;
  int m_ascent = 11;
  int m_gutter = 0;
  bool m_showTimes = false;
  std::vector<PaneMenuExtension> m_menuExtensions;
  int m_pendingScroll = 0;  // lines to scroll once the scroll bars know the new lines
  bool m_flushScheduled = false;
  bool m_dragging = false;
  Transcript::Pos m_pendingInsertAt = -1;  // the batch of appends not yet announced
  Transcript::Pos m_pendingInsertEnd = -1;
  Transcript::Pos m_shownFirstLine = 0;  // the model's first line when the scroll bar last followed it
  Transcript::Pos m_limit = 0;           // of every transcript shown, with the words that say where to raise it
  std::string m_limitHint;
  std::unique_ptr<FindBar> m_findBar;
};

// The find bar over the pane: a field, next and previous, match case.
class FindBar : public QWidget {
 public:
  explicit FindBar(PaneWidget* pane);
  void Open();
  void Search(bool forward, bool fromSelectionStart = false);
  QLineEdit* Field() const { return m_field; }
  QString Status() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  PaneWidget* m_pane;
  QLineEdit* m_field;
  QCheckBox* m_matchCase;
  QLabel* m_status;
};

// The pane's accessible face: a standard multi-line text over the whole transcript.
void InstallPaneAccessibility();

}  // namespace platform
