#include "Controls.h"

#include <QKeyEvent>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include "CaseFold.h"
#include "internal/Cp1252.h"

namespace platform {

FlatButton::FlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAutoDefault(false);
  setDefault(false);
  setStyleSheet(
      QStringLiteral("QPushButton{border:1px solid #7a7a7a;background:#ececec;padding:0 2px;}"
                     "QPushButton:hover{background:#f6f6f6;}QPushButton:pressed{background:#d4d4d4;}"
                     "QPushButton:focus{border:1px solid #3a6ea5;}QPushButton:disabled{color:#9a9a9a;}"));
}

void FlatButton::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    click();
    return;
  }
  QPushButton::keyPressEvent(e);
}

namespace {
// The list's order ignores letter case, as a sorted Windows list does.
int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = text::FoldCase(static_cast<unsigned char>(a[i]));
    const unsigned char y = text::FoldCase(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
}  // namespace

ListCombo::ListCombo(bool sorted, QWidget* parent) : QComboBox(parent), m_sorted(sorted) {
  setItemDelegate(new QStyledItemDelegate(this));  // items of two lines show both in the list
}

void ListCombo::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText.replace(QLatin1Char('\n'), QStringLiteral(" / "));
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

int ListCombo::Add(const std::string& text) {
  int pos = count();
  if (m_sorted)
    for (int i = 0; i < count(); ++i)
      if (CompareNoCase(Entry(i), text) > 0) {
        pos = i;
        break;
      }
  return InsertAt(pos, text);
}

int ListCombo::Append(const std::string& text) { return InsertAt(count(), text); }

int ListCombo::InsertAt(int index, const std::string& text) {
  const int sel = currentIndex();
  insertItem(index, FromCp1252(text));
  // Qt selects the first item added to an empty list; the dialog's lists select nothing.
  if (sel < 0) setCurrentIndex(-1);
  return index;
}

void ListCombo::RemoveAt(int index) {
  if (index < 0 || index >= count()) return;
  const int sel = currentIndex();
  removeItem(index);
  if (sel == index) setCurrentIndex(-1);
}

void ListCombo::Select(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

std::string ListCombo::Entry(int index) const {
  return index >= 0 && index < count() ? ToCp1252(itemText(index)) : std::string();
}

}  // namespace platform
