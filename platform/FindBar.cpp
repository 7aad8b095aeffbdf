// The pane's find bar: searches as the user types, Enter finds the next
// match, Shift+Enter the previous one, Escape closes the bar.
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {

FindBar::FindBar(PaneWidget* pane) : QWidget(pane), m_pane(pane) {
  setAutoFillBackground(true);
  setAccessibleName(QStringLiteral("find bar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(4);
  auto* label = new QLabel(QStringLiteral("Find:"), this);
  m_field = new QLineEdit(this);
  m_field->setAccessibleName(QStringLiteral("find"));
  label->setBuddy(m_field);
  auto* previous = new QToolButton(this);
  previous->setText(QStringLiteral("Previous"));
  auto* next = new QToolButton(this);
  next->setText(QStringLiteral("Next"));
  m_matchCase = new QCheckBox(QStringLiteral("Match case"), this);
  m_status = new QLabel(this);
  m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(QStringLiteral("Not found")) + 4);
  auto* close = new QToolButton(this);
  close->setText(QStringLiteral("\u00D7"));
  close->setAccessibleName(QStringLiteral("close find bar"));
  close->setAutoRaise(true);
  for (QWidget* w : std::initializer_list<QWidget*>{label, m_field, previous, next, m_matchCase, m_status, close})
    layout->addWidget(w);
  layout->setStretchFactor(m_field, 1);

  m_field->installEventFilter(this);
  connect(m_field, &QLineEdit::textEdited, this, [this] { Search(true, true); });
  connect(next, &QToolButton::clicked, this, [this] { Search(true); });
  connect(previous, &QToolButton::clicked, this, [this] { Search(false); });
  connect(m_matchCase, &QCheckBox::toggled, this, [this] { Search(true, true); });
  connect(close, &QToolButton::clicked, this, [this] {
    hide();
    m_pane->setFocus();
    m_pane->LayoutFindBar();
  });
}

void FindBar::Open() {
  show();
  m_pane->LayoutFindBar();
  const Transcript& t = m_pane->Model();
  // A short selection on one line is what the user wants to find.
  if (t.SelectionEnd() > t.SelectionStart() && t.SelectionEnd() - t.SelectionStart() < 200 &&
      t.LineOf(t.SelectionStart()) == t.LineOf(t.SelectionEnd()))
    m_field->setText(FromCp1252(t.Text(t.SelectionStart(), t.SelectionEnd())));
  m_field->setFocus();
  m_field->selectAll();
}

QString FindBar::Status() const { return m_status->text(); }

void FindBar::Search(bool forward, bool fromSelectionStart) {
  const std::string needle = ToCp1252(m_field->text());
  if (needle.empty()) {
    m_status->clear();
    return;
  }
  const bool found = m_pane->Find(needle, forward, m_matchCase->isChecked(), fromSelectionStart);
  m_status->setText(found ? QString() : QStringLiteral("Not found"));
}

bool FindBar::eventFilter(QObject* watched, QEvent* e) {
  if (watched == m_field && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
      Search(!(k->modifiers() & Qt::ShiftModifier));
      return true;
    }
    if (k->key() == Qt::Key_Escape) {
      hide();
      m_pane->setFocus();
      m_pane->LayoutFindBar();
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

}  // namespace platform
