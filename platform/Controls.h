// The controls of the main dialog that behave unlike Qt's own: push buttons
// that click on Enter and are never the default, and drop-down lists with
// the list operations the dialog uses (Windows-1252 text; a sorted list
// ignores letter case; adding to an empty list selects nothing).
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <string>

namespace platform {

class FlatButton : public QPushButton {
 public:
  explicit FlatButton(const QString& text, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// Its closed field shows an item of two lines on one line, both lines
// readable; the open list shows them as two lines.
class ListCombo : public QComboBox {
 public:
  ListCombo(bool sorted, QWidget* parent);
  // At its sorted place in a sorted list, else at the end; returns the index.
  int Add(const std::string& text);
  // At the end, never sorted.
  int Append(const std::string& text);
  void RemoveAt(int index);
  // -1 (or any index out of range) selects nothing.
  void Select(int index);
  std::string Entry(int index) const;  // "" out of range

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  int InsertAt(int index, const std::string& text);
  bool m_sorted;
};

}  // namespace platform
