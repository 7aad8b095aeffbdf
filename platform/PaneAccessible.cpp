// The pane as screen readers and UI automation see it: a multi-line text
// control over the whole transcript. Offsets are byte positions, one
// character each (every Windows-1252 byte is one UTF-16 unit). Colours go out
// under the names Qt's AT-SPI bridge turns into "fg-color" and "bg-color".
#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>

#include "Palette.h"
#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {

namespace {

using Pos = Transcript::Pos;

bool IsWordByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b >= 0xC0;
}

QString Rgb(const QColor& c) { return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue()); }

class PaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit PaneAccessible(PaneWidget* pane) : QAccessibleWidget(pane, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.multiLine = true;
    s.editable = true;
    s.selectableText = true;
    s.focusable = true;
    return s;
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return FromCp1252(Model().Text());
    return QAccessibleWidget::text(t);
  }

  // Selection and caret.
  void selection(int index, int* start, int* end) const override {
    *start = *end = 0;
    if (index != 0 || selectionCount() == 0) return;
    *start = static_cast<int>(Model().SelectionStart());
    *end = static_cast<int>(Model().SelectionEnd());
  }
  int selectionCount() const override { return Model().SelectionStart() != Model().SelectionEnd() ? 1 : 0; }
  void addSelection(int start, int end) override { setSelection(0, start, end); }
  void removeSelection(int index) override {
    if (index == 0) Pane()->SetSelectionByUser(Model().Caret(), Model().Caret());
  }
  void setSelection(int index, int start, int end) override {
    if (index == 0) Pane()->SetSelectionByUser(start, end);
  }
  int cursorPosition() const override { return static_cast<int>(Model().Caret()); }
  void setCursorPosition(int position) override { Pane()->SetSelectionByUser(position, position); }

  // Text.
  int characterCount() const override { return static_cast<int>(Model().Length()); }
  QString text(int start, int end) const override {
    if (end < 0 || end > characterCount()) end = characterCount();
    return FromCp1252(Model().Text(start, end));
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
    Pos a = 0;
    Pos b = 0;
    Bounds(offset, type, a, b);
    *start = static_cast<int>(a);
    *end = static_cast<int>(b);
    return text(*start, *end);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
    Pos a = 0;
    Pos b = 0;
    Bounds(offset, type, a, b);
    if (a == 0) {
      *start = *end = 0;
      return {};
    }
    return textAtOffset(static_cast<int>(a - 1), type, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
    Pos a = 0;
    Pos b = 0;
    Bounds(offset, type, a, b);
    if (b >= Model().Length()) {
      *start = *end = characterCount();
      return {};
    }
    return textAtOffset(static_cast<int>(b), type, start, end);
  }

  // Geometry.
  QRect characterRect(int offset) const override {
    const QRect r = Pane()->CharacterRect(offset);
    return QRect(Pane()->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    return static_cast<int>(Pane()->PosAt(Pane()->viewport()->mapFromGlobal(point)));
  }
  void scrollToSubstring(int start, int end) override {
    Pane()->EnsureVisible(end);
    Pane()->EnsureVisible(start);
  }

  // The run of one colour around `offset`, with the pane's face and background.
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    if (offset < 0 || offset >= Model().Length()) return {};
    Pos a = 0;
    Pos b = 0;
    const palette::Colour colour = Pane()->ColourRunAround(offset, a, b);
    *start = static_cast<int>(a);
    *end = static_cast<int>(b);
    const QFont f = Pane()->PaneFont();
    return QStringLiteral("font-family:\"%1\";font-weight:%2;font-size:%3pt;color:%4;background-color:%5;")
        .arg(f.family())
        .arg(f.bold() ? 700 : 400)
        .arg(f.pointSize())
        .arg(Rgb(ToQColor(colour)))
        .arg(Rgb(ToQColor(palette::kBackground)));
  }

 private:
  PaneWidget* Pane() const { return static_cast<PaneWidget*>(widget()); }
  const Transcript& Model() const { return Pane()->Model(); }

  // The stretch of the given kind around `offset`. A line takes its line end
  // with it, as text controls report lines.
  void Bounds(int offset, QAccessible::TextBoundaryType type, Pos& a, Pos& b) const {
    const Transcript& t = Model();
    const Pos pos = std::clamp<Pos>(offset, 0, t.Length());
    switch (type) {
      case QAccessible::CharBoundary:
        a = pos;
        b = std::min(pos + 1, t.Length());
        return;
      case QAccessible::WordBoundary: {
        const Pos line = t.LineOf(pos);
        a = b = pos;
        if (pos < t.Length() && IsWordByte(t.At(pos))) {
          while (a > t.LineStart(line) && IsWordByte(t.At(a - 1))) --a;
          while (b < t.LineEnd(line) && IsWordByte(t.At(b))) ++b;
        } else {
          b = std::min(pos + 1, t.Length());
        }
        return;
      }
      case QAccessible::NoBoundary:
        a = 0;
        b = t.Length();
        return;
      default: {  // sentences and paragraphs are lines here
        const Pos line = t.LineOf(pos);
        a = t.LineStart(line);
        b = line + 1 < t.LineCount() ? t.LineStart(line + 1) : t.Length();
        return;
      }
    }
  }
};

QAccessibleInterface* PaneFactory(const QString&, QObject* object) {
  if (auto* pane = dynamic_cast<PaneWidget*>(object)) return new PaneAccessible(pane);
  return nullptr;
}

}  // namespace

void InstallPaneAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&PaneFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace platform
