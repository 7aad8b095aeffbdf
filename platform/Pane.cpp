// The output pane widget: paints the visible lines of the transcript, takes
// the user's selection, copying, finding, saving and the time column.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <utility>

#include "MessageBox.h"
#include "Palette.h"
#include "PaneControl.h"
#include "UserStore.h"
#include "internal/Cp1252.h"
#include "internal/PaneMenu.h"
#include "internal/Widgets.h"

namespace platform {

namespace {

constexpr char kPaneGroup[] = "pane";
constexpr int kDefaultMegabytes = 1024;
constexpr int kMostMegabytes = 2047;  // the accessible text's offsets are int
constexpr Transcript::Pos kAnnounceLimit = 1 << 20;

}  // namespace

// The transcript's limit from the per-user store, and the words that end the
// line telling of a drop: where to raise it, or why the value found there
// was not used.
long long ReadTranscriptLimit(std::string& hint) {
  const UserStore store;
  const std::string where = "maxMegabytes under [pane] in " + store.FileName();
  int megabytes = kDefaultMegabytes;
  if (const auto value = store.Value(kPaneGroup, "maxMegabytes")) {
    bool ok = false;
    const int n = QString::fromLatin1(value->data(), static_cast<qsizetype>(value->size())).trimmed().toInt(&ok);
    if (ok && n >= 1 && n <= kMostMegabytes) {
      megabytes = n;
    } else {
      hint = "The value of " + where + " is not a whole number from 1 to " + std::to_string(kMostMegabytes) +
             ", so " + std::to_string(kDefaultMegabytes) + " is used.";
      return Transcript::Pos{megabytes} << 20;
    }
  }
  hint = "To keep more, raise " + where + " (at most " + std::to_string(kMostMegabytes) + ").";
  return Transcript::Pos{megabytes} << 20;
}

namespace {

QString MonospaceFace(const std::string& wanted) {
  const QString face = FromCp1252(wanted);
  if (QFontDatabase::families().contains(face, Qt::CaseInsensitive)) return face;
  return QStringLiteral("DejaVu Sans Mono");
}

// Control bytes have no glyph of one cell; they are drawn as blanks so every
// byte keeps its column.
QString Drawable(const std::string& bytes) {
  QString s = FromCp1252(bytes);
  for (QChar& c : s)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0)) c = QLatin1Char(' ');
  return s;
}

bool IsWordByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b >= 0xC0;
}

}  // namespace

PaneWidget::PaneWidget(QWidget* parent) : QAbstractScrollArea(parent), m_background(ToQColor(palette::kBackground)) {
  InstallPaneAccessibility();
  m_limit = ReadTranscriptLimit(m_limitHint);
  Adopt(m_blank);
  setFrameShape(QFrame::StyledPanel);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(1);
  m_font = font();
  m_font.setStyleHint(QFont::Monospace);
  const std::string showTimes = UserStore().Value(kPaneGroup, "showTimes").value_or("");
  m_showTimes = !showTimes.empty() && showTimes != "0" && QString::fromLatin1(showTimes.c_str()).toLower() != "false";
  m_findBar = std::make_unique<FindBar>(this);
  m_findBar->hide();
  // The palette's background, and its plain text colour for the caret; the
  // find bar keeps the window's look, not the pane's.
  QPalette p = palette();
  p.setColor(QPalette::Base, m_background);
  p.setColor(QPalette::Text, KindColor(TranscriptKind::Text));
  setPalette(p);
  QPalette barPalette = QApplication::palette();
  barPalette.setResolveMask(~QPalette::ResolveMask{0});
  m_findBar->setPalette(barPalette);
  UpdateMetrics();
}

PaneWidget::~PaneWidget() { m_model->SetView(nullptr); }

void PaneWidget::SetDefaultFormat(const std::string& face, bool bold) {
  m_font.setFamily(MonospaceFace(face));
  m_font.setStyleHint(QFont::Monospace);
  m_font.setBold(bold);
  setFont(m_font);
  // The find bar keeps the window's look, not the pane's.
  QFont barFont = QApplication::font();
  barFont.setResolveMask(QFont::AllPropertiesResolved);
  m_findBar->setFont(barFont);
  UpdateMetrics();
}

// Neighbouring kinds of one colour are one run, to the eye and to a screen reader.
void PaneWidget::ForEachColourRun(Transcript::Pos from, Transcript::Pos to,
                                  const std::function<void(Transcript::Pos, Transcript::Pos, palette::Colour)>& f) const {
  Transcript::Pos start = from;
  Transcript::Pos end = from;
  palette::Colour colour;
  m_model->ForEachRun(from, to, [&](Transcript::Pos a, Transcript::Pos b, Transcript::Kind kind) {
    const palette::Colour c = palette::Of(kind);
    if (end > start && c != colour) {
      f(start, end, colour);
      start = a;
    }
    colour = c;
    end = b;
  });
  if (end > start) f(start, end, colour);
}

palette::Colour PaneWidget::ColourRunAround(Transcript::Pos pos, Transcript::Pos& from, Transcript::Pos& to) const {
  const palette::Colour colour = palette::Of(m_model->KindAt(pos));
  m_model->RunAround(pos, from, to);
  Transcript::Pos a = 0;
  Transcript::Pos b = 0;
  while (from > 0 && palette::Of(m_model->KindAt(from - 1)) == colour) m_model->RunAround(from - 1, from, b);
  while (to < m_model->Length() && palette::Of(m_model->KindAt(to)) == colour) m_model->RunAround(to, a, to);
  return colour;
}

void PaneWidget::UpdateMetrics() {
  const QFontMetrics fm(m_font);
  m_charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
  m_lineHeight = std::max(1, fm.lineSpacing());
  m_ascent = fm.ascent();
  m_gutter = m_showTimes ? fm.horizontalAdvance(QStringLiteral("00:00:00")) + 2 * kMargin : 0;
  SyncScrollBars();
  viewport()->update();
}

int PaneWidget::VisibleLines() const { return std::max(1, viewport()->height() / m_lineHeight); }

Transcript::Pos PaneWidget::FirstRowLine() const { return m_model->FirstLine() + verticalScrollBar()->value(); }

void PaneWidget::SyncScrollBars() {
  const auto lines =
      static_cast<int>(std::min<Transcript::Pos>(m_model->LineCount() - m_model->FirstLine(), INT_MAX));
  const int page = VisibleLines();
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(page);
  v->setRange(0, std::max(0, lines - page));
  const Transcript::Pos width = m_model->LongestLine() * m_charWidth + TextLeft() + kMargin;
  QScrollBar* h = horizontalScrollBar();
  h->setPageStep(std::max(1, viewport()->width()));
  h->setSingleStep(m_charWidth);
  h->setRange(0, static_cast<int>(std::clamp<Transcript::Pos>(width - viewport()->width(), 0, INT_MAX)));
}

void PaneWidget::ScheduleFlush() {
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  QTimer::singleShot(0, this, [this] { Flush(); });
}

void PaneWidget::Flush(bool repaint) {
  m_flushScheduled = false;
  SyncScrollBars();
  if (m_pendingScroll != 0) {
    QScrollBar* v = verticalScrollBar();
    v->setValue(v->value() + m_pendingScroll);
    m_pendingScroll = 0;
  }
  SendPendingInsert();
  if (repaint) viewport()->update();
}

void PaneWidget::NoteInserted(Transcript::Pos at, Transcript::Pos end) {
  if (end <= at) return;
  if (m_pendingInsertAt >= 0 && at != m_pendingInsertEnd) SendPendingInsert();
  if (m_pendingInsertAt < 0) m_pendingInsertAt = at;
  m_pendingInsertEnd = end;
  // A reply of millions of lines goes out in pieces, so a listening screen
  // reader never makes us hold the whole reply twice more as one event.
  if (m_pendingInsertEnd - m_pendingInsertAt >= kAnnounceLimit) SendPendingInsert();
}

// One text-inserted event per batch of appends, as a screen reader expects
// of a text control that grows.
void PaneWidget::SendPendingInsert() {
  if (m_pendingInsertAt < 0) return;
  const Transcript::Pos at = m_pendingInsertAt;
  const Transcript::Pos end = m_pendingInsertEnd;
  m_pendingInsertAt = m_pendingInsertEnd = -1;
  if (!QAccessible::isActive()) return;  // nobody listens: no copy of the batch
  const std::string text = m_model->Text(at, end);
  QAccessibleTextInsertEvent ev(this, static_cast<int>(at), FromCp1252(text));
  QAccessible::updateAccessibility(&ev);
}

void PaneWidget::MoveCaret(long start, long end) {
  m_model->SetSelection(start < 0 ? 0 : start, end < 0 ? m_model->Length() : end);
  viewport()->update();
}

void PaneWidget::Append(const std::string& text) { m_model->AppendAtEnd(text); }

// Whoever appended (the session, the window), the view follows in one batch.
void PaneWidget::OnAppended(Transcript::Pos from, Transcript::Pos to) {
  NoteInserted(from, to);
  ScheduleFlush();
}

void PaneWidget::Show(Transcript* transcript) {
  m_model->SetView(nullptr);
  Adopt(transcript ? *transcript : m_blank);
}

void PaneWidget::OnTranscriptGone() { Adopt(m_blank); }

// The transcript shown keeps the newest text up to the user's limit.
void PaneWidget::Adopt(Transcript& model) {
  m_model = &model;
  m_model->SetLimit(m_limit, m_limitHint);
  m_model->SetView(this);
  m_pendingInsertAt = m_pendingInsertEnd = -1;  // positions in the other transcript
  m_pendingScroll = 0;
  m_shownFirstLine = m_model->FirstLine();
  ScheduleFlush();
}

// The oldest text went and a line at the top says so. A screen reader hears
// the removal at the start, in pieces, of what it had been told of, then the
// new line; appends not yet announced are announced later where they are
// now. The view keeps showing the lines it showed.
void PaneWidget::OnDropped(const Transcript::Snapshot& removed, Transcript::Pos marker) {
  const Transcript::Pos gone = removed.Length();
  const Transcript::Pos shift = marker - gone;
  if (QAccessible::isActive()) {
    Transcript::Pos told = m_pendingInsertAt >= 0 ? std::min(m_pendingInsertAt, gone) : gone;
    removed.ForEachSpan([&](const char* data, std::size_t n) {
      n = static_cast<std::size_t>(std::min<Transcript::Pos>(told, static_cast<Transcript::Pos>(n)));
      if (n == 0) return;
      told -= static_cast<Transcript::Pos>(n);
      QAccessibleTextRemoveEvent ev(this, 0, FromCp1252(data, n));
      QAccessible::updateAccessibility(&ev);
    });
    QAccessibleTextInsertEvent ev(this, 0, FromCp1252(m_model->Text(0, marker)));
    QAccessible::updateAccessibility(&ev);
  }
  if (m_pendingInsertAt >= 0) {
    m_pendingInsertAt = std::max(m_pendingInsertAt, gone) + shift;
    m_pendingInsertEnd += shift;
    if (m_pendingInsertEnd <= m_pendingInsertAt) m_pendingInsertAt = m_pendingInsertEnd = -1;
  }
  QScrollBar* v = verticalScrollBar();
  const Transcript::Pos rows = m_model->FirstLine() - m_shownFirstLine;
  m_shownFirstLine = m_model->FirstLine();
  v->setValue(static_cast<int>(std::max<Transcript::Pos>(0, v->value() - rows)));
  ScheduleFlush();
}

// A scroll is relative to the view, so it waits for the scroll bars to know
// the lines it scrolls to; both are settled at the next flush.
void PaneWidget::ScrollLines(int lines) {
  if (lines == 0) return;
  m_pendingScroll += lines;
  ScheduleFlush();
}

int PaneWidget::FirstVisibleLine() {
  Flush();
  return static_cast<int>(std::min<Transcript::Pos>(FirstRowLine(), INT_MAX));
}

QString PaneWidget::TimeText(std::time_t t) const {
  return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t)).toString(QStringLiteral("HH:mm:ss"));
}

void PaneWidget::paintEvent(QPaintEvent* e) {
  if (m_flushScheduled) Flush(false);  // this paint shows the settled view
  QPainter p(viewport());
  p.fillRect(e->rect(), m_background);
  p.setFont(m_font);
  const Transcript& t = *m_model;
  const Transcript::Pos first = FirstRowLine();
  const int rows = viewport()->height() / m_lineHeight + 1;
  const int scrollX = horizontalScrollBar()->value();
  const Transcript::Pos firstColumn = scrollX / m_charWidth;
  const Transcript::Pos columns = (viewport()->width() - TextLeft()) / m_charWidth + 2;
  const Transcript::Pos selStart = t.SelectionStart();
  const Transcript::Pos selEnd = t.SelectionEnd();
  const QColor highlight = palette().color(QPalette::Highlight);
  const QColor highlightText = palette().color(QPalette::HighlightedText);
  const int textLeft = TextLeft() - scrollX;

  p.setClipRect(QRect(TextLeft(), 0, viewport()->width() - TextLeft(), viewport()->height()));
  for (int row = 0; row < rows; ++row) {
    const Transcript::Pos line = first + row;
    if (line >= t.LineCount()) break;
    const int y = row * m_lineHeight;
    const Transcript::Pos start = t.LineStart(line);
    const Transcript::Pos end = t.LineEnd(line);
    const Transcript::Pos from = start + std::min(firstColumn, end - start);
    const Transcript::Pos to = start + std::min(firstColumn + columns, end - start);
    // The selection's background, one cell further for a selected line end.
    const Transcript::Pos lineBreakEnd = line + 1 < t.LineCount() ? end + 1 : end;
    const Transcript::Pos a = std::max(selStart, start);
    const Transcript::Pos b = std::min(selEnd, lineBreakEnd);
    if (a < b) {
      const int x0 = textLeft + static_cast<int>((a - start) * m_charWidth);
      const int x1 = textLeft + static_cast<int>((b - start) * m_charWidth);
      p.fillRect(QRect(x0, y, x1 - x0, m_lineHeight), highlight);
    }
    ForEachColourRun(from, to, [&](Transcript::Pos runFrom, Transcript::Pos runTo, palette::Colour colour) {
      // Split the run where the selection begins and ends.
      const std::array<Transcript::Pos, 4> cuts{runFrom, std::clamp(selStart, runFrom, runTo),
                                                std::clamp(selEnd, runFrom, runTo), runTo};
      for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        if (cuts[i] >= cuts[i + 1]) continue;
        const bool selected = cuts[i] >= selStart && cuts[i + 1] <= selEnd;
        p.setPen(selected ? highlightText : ToQColor(colour));
        p.drawText(QPoint(textLeft + static_cast<int>((cuts[i] - start) * m_charWidth), y + m_ascent),
                   Drawable(t.Text(cuts[i], cuts[i + 1])));
      }
    });
  }
  // The caret, while the pane has the focus.
  if (hasFocus() && selStart == selEnd) {
    const QRect r = CharacterRect(t.Caret());
    if (r.isValid()) p.fillRect(QRect(r.left(), r.top(), 2, r.height()), palette().color(QPalette::Text));
  }
  p.setClipping(false);
  if (m_showTimes) {
    p.fillRect(QRect(0, 0, m_gutter, viewport()->height()), m_background.darker(130));
    p.setPen(QColor(190, 190, 190));
    for (int row = 0; row < rows; ++row) {
      const Transcript::Pos line = first + row;
      if (line >= t.LineCount()) break;
      if (t.LineStart(line) == t.Length() && line > t.FirstLine()) break;  // the empty line behind a final line end
      p.drawText(QPoint(kMargin, row * m_lineHeight + m_ascent), TimeText(t.LineTime(line)));
    }
  }
}

QRect PaneWidget::CharacterRect(Transcript::Pos pos) const {
  const Transcript::Pos line = m_model->LineOf(pos);
  const int row = static_cast<int>(line - FirstRowLine());
  const Transcript::Pos column = pos - m_model->LineStart(line);
  const Transcript::Pos x = TextLeft() - horizontalScrollBar()->value() + column * m_charWidth;
  return QRect(static_cast<int>(std::clamp<Transcript::Pos>(x, INT_MIN / 2, INT_MAX / 2)), row * m_lineHeight,
               m_charWidth, m_lineHeight);
}

Transcript::Pos PaneWidget::PosAt(const QPoint& point) const {
  const int row = point.y() < 0 ? -1 - (-point.y() / m_lineHeight) : point.y() / m_lineHeight;
  const Transcript::Pos line =
      std::clamp<Transcript::Pos>(FirstRowLine() + row, m_model->FirstLine(), m_model->LineCount() - 1);
  const Transcript::Pos x = point.x() - TextLeft() + horizontalScrollBar()->value();
  const Transcript::Pos column = std::max<Transcript::Pos>(0, (x + m_charWidth / 2) / m_charWidth);
  const Transcript::Pos start = m_model->LineStart(line);
  return start + std::min(column, m_model->LineEnd(line) - start);
}

void PaneWidget::EnsureVisible(Transcript::Pos pos) {
  Flush();
  const Transcript::Pos line = m_model->LineOf(pos);
  const Transcript::Pos row = line - m_model->FirstLine();
  QScrollBar* v = verticalScrollBar();
  if (row < v->value()) v->setValue(static_cast<int>(row));
  if (row >= v->value() + VisibleLines()) v->setValue(static_cast<int>(row - VisibleLines() + 1));
  const Transcript::Pos x = (pos - m_model->LineStart(line)) * m_charWidth;
  QScrollBar* h = horizontalScrollBar();
  const int textWidth = viewport()->width() - TextLeft() - kMargin;
  if (x < h->value()) h->setValue(static_cast<int>(std::max<Transcript::Pos>(0, x - textWidth / 4)));
  if (x + m_charWidth > h->value() + textWidth)
    h->setValue(static_cast<int>(std::min<Transcript::Pos>(INT_MAX, x - textWidth * 3 / 4)));
}

void PaneWidget::SetSelectionByUser(Transcript::Pos anchor, Transcript::Pos caret) {
  m_model->SetSelection(anchor, caret);
  viewport()->update();
  if (!QAccessible::isActive()) return;
  const auto s = static_cast<int>(m_model->SelectionStart());
  const auto e = static_cast<int>(m_model->SelectionEnd());
  if (s == e) {
    QAccessibleTextCursorEvent moved(this, s);
    QAccessible::updateAccessibility(&moved);
  } else {
    QAccessibleTextSelectionEvent selected(this, s, e);
    selected.setCursorPosition(static_cast<int>(m_model->Caret()));
    QAccessible::updateAccessibility(&selected);
  }
}

namespace {

// The copied text goes to the clipboard as a snapshot of the transcript's
// chunks; it becomes a string only when someone pastes it, so copying a
// million lines costs no more than copying one.
class TranscriptMime : public QMimeData {
 public:
  explicit TranscriptMime(Transcript::Snapshot snapshot) : m_snapshot(std::move(snapshot)) {}
  QStringList formats() const override { return {QStringLiteral("text/plain")}; }
  bool hasFormat(const QString& mime) const override { return mime == QLatin1String("text/plain"); }

 protected:
  // Nothing is cached: another program pasting gets UTF-8 bytes made
  // straight from the snapshot, without a UTF-16 copy of the whole text.
  QVariant retrieveData(const QString& mime, QMetaType type) const override {
    if (mime != QLatin1String("text/plain")) return {};
    if (type.id() == QMetaType::QByteArray) {
      QByteArray utf8;
      utf8.reserve(static_cast<qsizetype>(m_snapshot.Length()));
      m_snapshot.ForEachSpan([&utf8](const char* data, std::size_t n) {
        const QString piece = FromCp1252(data, n);
        utf8 += piece.toUtf8();
      });
      return utf8;
    }
    QString text(static_cast<qsizetype>(m_snapshot.Length()), Qt::Uninitialized);
    QChar* out = text.data();
    m_snapshot.ForEachSpan([&out](const char* data, std::size_t n) {
      FromCp1252(data, n, out);
      out += n;
    });
    return text;
  }

 private:
  Transcript::Snapshot m_snapshot;
};

}  // namespace

void PaneWidget::Copy() {
  if (m_model->SelectionStart() == m_model->SelectionEnd()) return;
  QApplication::clipboard()->setMimeData(
      new TranscriptMime(m_model->Snap(m_model->SelectionStart(), m_model->SelectionEnd())));  // Qt owns it
}

void PaneWidget::SelectAll() { SetSelectionByUser(0, m_model->Length()); }

void PaneWidget::ShowFindBar() { m_findBar->Open(); }

bool PaneWidget::Find(const std::string& needle, bool forward, bool matchCase, bool fromSelectionStart) {
  if (needle.empty()) return false;
  Transcript::Pos from =
      forward ? (fromSelectionStart ? m_model->SelectionStart() : m_model->SelectionEnd()) : m_model->SelectionStart();
  Transcript::Pos hit = m_model->Find(needle, from, forward, matchCase);
  if (hit < 0) hit = m_model->Find(needle, forward ? 0 : m_model->Length(), forward, matchCase);  // wrap once
  if (hit < 0) return false;
  const Transcript::Pos end = hit + static_cast<Transcript::Pos>(needle.size());
  SetSelectionByUser(hit, end);
  EnsureVisible(end);
  EnsureVisible(hit);
  return true;
}

void PaneWidget::SaveAs() {
  QFileDialog dialog(this, QStringLiteral("Save Transcript As"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);  // it carries our "Save with times" option
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters({QStringLiteral("Text files (*.txt)"), QStringLiteral("All files (*)")});
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(QStringLiteral("transcript.txt"));
  auto* withTimes = new QCheckBox(QStringLiteral("Save with times"), &dialog);
  withTimes->setChecked(false);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) grid->addWidget(withTimes, grid->rowCount(), 0, 1, -1);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveTo(dialog.selectedFiles().front(), withTimes->isChecked());
}

bool PaneWidget::SaveTo(const QString& path, bool withTimes) {
  // The new file replaces the old one only when it was written whole.
  QSaveFile file(path);
  bool ok = file.open(QIODevice::WriteOnly);
  if (ok) {
    m_model->Write(
        [&](const char* data, std::size_t n) {
          if (ok && file.write(data, static_cast<qint64>(n)) != static_cast<qint64>(n)) ok = false;
        },
        withTimes, [this](std::time_t t) { return ToCp1252(TimeText(t)) + " "; });
    ok = ok && file.commit();
  }
  if (ok) return true;
  const QString reason = file.errorString();
  file.cancelWriting();
  MessageBoxCall call{"The transcript could not be saved to " + ToCp1252(path) + ":\n" + ToCp1252(reason) +
                          "\n\nAny file of that name was left as it was.",
                      "Save Transcript As", kBoxError};
  ShowMessageBox(window(), call);
  return false;
}

void PaneWidget::ClearTranscript() {
  SendPendingInsert();
  const Transcript::Pos length = m_model->Length();
  std::string removed;
  if (QAccessible::isActive()) removed = m_model->Text();
  m_model->Clear();
  m_shownFirstLine = m_model->FirstLine();
  m_pendingScroll = 0;
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  Flush();
  if (!removed.empty() && length > 0) {
    QAccessibleTextRemoveEvent ev(this, 0, FromCp1252(removed));
    QAccessible::updateAccessibility(&ev);
  }
}

void PaneWidget::SetShowTimes(bool show, bool remember) {
  m_showTimes = show;
  if (remember) {
    std::string error;  // a setting that can't be kept is no reason to bother the user
    UserStore().Set(kPaneGroup, "showTimes", show ? "true" : "false", error);
  }
  UpdateMetrics();
}

void PaneWidget::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  LayoutFindBar();
  SyncScrollBars();
}

void PaneWidget::LayoutFindBar() {
  // A view that showed the last line still shows it with the bar open or closed.
  const bool atBottom = verticalScrollBar()->value() == verticalScrollBar()->maximum();
  if (!m_findBar || m_findBar->isHidden()) {
    setViewportMargins(0, 0, 0, 0);
  } else {
    const int h = m_findBar->sizeHint().height();
    setViewportMargins(0, h, 0, 0);
    const QRect vp = viewport()->geometry();
    m_findBar->setGeometry(vp.left(), vp.top() - h, vp.width(), h);
  }
  SyncScrollBars();
  if (atBottom) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void PaneWidget::scrollContentsBy(int, int) { viewport()->update(); }

void PaneWidget::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  viewport()->update();
}

void PaneWidget::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  viewport()->update();
}

bool PaneWidget::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride) {
    // The pane's own keys are not the window's shortcuts.
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->matches(QKeySequence::Copy) || k->matches(QKeySequence::SelectAll) || k->matches(QKeySequence::Find) ||
        k->matches(QKeySequence::Save)) {
      e->accept();
      return true;
    }
  }
  if (e->type() == QEvent::Show) LayoutFindBar();
  return QAbstractScrollArea::event(e);
}

void PaneWidget::UserEdit(const std::string& text, bool deleteBackward, bool deleteForward) {
  const Transcript::Pos at = m_model->SelectionStart();
  const Transcript::Pos removedEnd = m_model->SelectionEnd();
  SendPendingInsert();
  std::string removed = m_model->Text(at, removedEnd);
  if (deleteBackward || deleteForward) {
    if (at == removedEnd) removed = deleteBackward ? m_model->Text(at - 1, at) : m_model->Text(at, at + 1);
    m_model->DeleteAtCaret(deleteBackward);
  } else {
    m_model->ReplaceSelection(text);
  }
  if (QAccessible::isActive()) {
    if (!removed.empty()) {
      QAccessibleTextRemoveEvent ev(this, static_cast<int>(m_model->Caret()), FromCp1252(removed));
      QAccessible::updateAccessibility(&ev);
    }
    if (!text.empty()) {
      QAccessibleTextInsertEvent ev(this, static_cast<int>(at), FromCp1252(text));
      QAccessible::updateAccessibility(&ev);
    }
  }
  Flush();
  EnsureVisible(m_model->Caret());
}

void PaneWidget::keyPressEvent(QKeyEvent* e) {
  Flush();
  Transcript& t = *m_model;
  if (e->matches(QKeySequence::Copy)) return Copy();
  if (e->matches(QKeySequence::SelectAll)) return SelectAll();
  if (e->matches(QKeySequence::Find)) return ShowFindBar();
  if (e->matches(QKeySequence::Save)) return SaveAs();
  if (e->matches(QKeySequence::FindNext)) return m_findBar->Search(true);
  if (e->matches(QKeySequence::FindPrevious)) return m_findBar->Search(false);

  const bool shift = e->modifiers() & Qt::ShiftModifier;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const Transcript::Pos caret = t.Caret();
  const Transcript::Pos line = t.LineOf(caret);
  const Transcript::Pos column = caret - t.LineStart(line);
  const auto onLine = [&](Transcript::Pos l) {
    l = std::clamp<Transcript::Pos>(l, t.FirstLine(), t.LineCount() - 1);
    return t.LineStart(l) + std::min(column, t.LineEnd(l) - t.LineStart(l));
  };
  Transcript::Pos to = -1;
  switch (e->key()) {
    case Qt::Key_Left:
      to = std::max<Transcript::Pos>(0, caret - 1);
      break;
    case Qt::Key_Right:
      to = std::min(t.Length(), caret + 1);
      break;
    case Qt::Key_Up:
      to = onLine(line - 1);
      break;
    case Qt::Key_Down:
      to = onLine(line + 1);
      break;
    case Qt::Key_Home:
      to = ctrl ? 0 : t.LineStart(line);
      break;
    case Qt::Key_End:
      to = ctrl ? t.Length() : t.LineEnd(line);
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int page = e->key() == Qt::Key_PageUp ? -VisibleLines() : VisibleLines();
      verticalScrollBar()->setValue(verticalScrollBar()->value() + page);
      to = onLine(line + page);
      break;
    }
    case Qt::Key_Backspace:
      return UserEdit({}, true, false);
    case Qt::Key_Delete:
      return UserEdit({}, false, true);
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return UserEdit("\n", false, false);
    default:
      break;
  }
  if (to >= 0) {
    SetSelectionByUser(shift ? t.Anchor() : to, to);
    EnsureVisible(to);
    return;
  }
  const QString typed = e->text();
  if (!ctrl && !typed.isEmpty() && typed.at(0).isPrint()) return UserEdit(ToCp1252(typed), false, false);
  e->ignore();  // Escape and the rest belong to the window
}

void PaneWidget::mousePressEvent(QMouseEvent* e) {
  Flush();
  if (e->button() != Qt::LeftButton) return;
  const Transcript::Pos pos = PosAt(e->position().toPoint());
  const bool extend = e->modifiers() & Qt::ShiftModifier;
  SetSelectionByUser(extend ? m_model->Anchor() : pos, pos);
  m_dragging = true;
}

void PaneWidget::mouseMoveEvent(QMouseEvent* e) {
  if (!m_dragging || !(e->buttons() & Qt::LeftButton)) return;
  const QPoint point = e->position().toPoint();
  if (point.y() < 0) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (point.y() > viewport()->height()) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  const Transcript::Pos pos = PosAt(point);
  SetSelectionByUser(m_model->Anchor(), pos);
  EnsureVisible(pos);
}

void PaneWidget::mouseReleaseEvent(QMouseEvent*) { m_dragging = false; }

void PaneWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const Transcript::Pos pos = PosAt(e->position().toPoint());
  const Transcript::Pos line = m_model->LineOf(pos);
  Transcript::Pos a = pos;
  Transcript::Pos b = pos;
  while (a > m_model->LineStart(line) && IsWordByte(m_model->At(a - 1))) --a;
  while (b < m_model->LineEnd(line) && IsWordByte(m_model->At(b))) ++b;
  SetSelectionByUser(a, b);
}

void PaneWidget::contextMenuEvent(QContextMenuEvent* e) {
  Flush();
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("&Copy"), this, [this] { Copy(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(m_model->SelectionStart() != m_model->SelectionEnd());
  menu.addAction(QStringLiteral("Select &All"), this, [this] { SelectAll(); })->setShortcut(QKeySequence::SelectAll);
  menu.addSeparator();
  menu.addAction(QStringLiteral("&Find\u2026"), this, [this] { ShowFindBar(); })->setShortcut(QKeySequence::Find);
  menu.addAction(QStringLiteral("&Save Transcript As\u2026"), this, [this] { SaveAs(); })
      ->setShortcut(QKeySequence::Save);
  menu.addSeparator();
  QAction* times = menu.addAction(QStringLiteral("Show &Times"), this, [this](bool on) { SetShowTimes(on); });
  times->setCheckable(true);
  times->setChecked(m_showTimes);
  AddPaneMenuItems(menu, m_menuExtensions, m_model->LineOf(m_model->Caret()));
  menu.addSeparator();
  menu.addAction(QStringLiteral("C&lear"), this, [this] { ClearTranscript(); });
  menu.exec(e->globalPos());
}

}  // namespace platform
