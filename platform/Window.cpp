#include "Window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "CaseFold.h"
#include "internal/Cp1252.h"
#include "internal/Widgets.h"

using platform::FromCp1252;
using platform::ToCp1252;
using platform::W;

void CWnd::SetWindowText(const std::string& text) {
  QWidget* w = W(m_hWnd);
  if (!w) return;
  const QString t = FromCp1252(text);
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (e->text() != t) e->setText(t);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(t);
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(t);
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(t);
  } else if (w->isWindow() || qobject_cast<QDialog*>(w)) {
    w->setWindowTitle(t);  // a dialog shown as a tab names the window it lives in
  }
}

std::string CWnd::GetWindowText() const {
  QWidget* w = W(m_hWnd);
  if (!w) return {};
  if (auto* e = qobject_cast<QLineEdit*>(w)) return ToCp1252(e->text());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return ToCp1252(b->text());
  if (auto* l = qobject_cast<QLabel*>(w)) return ToCp1252(l->text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) return ToCp1252(g->title());
  if (auto* c = qobject_cast<QComboBox*>(w)) return ToCp1252(c->currentText());
  return ToCp1252(w->windowTitle());
}

void CWnd::EnableWindow(bool enable) {
  if (QWidget* w = W(m_hWnd)) w->setEnabled(enable);
}
bool CWnd::IsWindowEnabled() const { return W(m_hWnd) && W(m_hWnd)->isEnabled(); }
bool CWnd::IsWindowVisible() const { return W(m_hWnd) && W(m_hWnd)->isVisible(); }
void CWnd::ShowWindow(bool show) {
  if (QWidget* w = W(m_hWnd)) w->setVisible(show);
}
void CWnd::SetFocus() {
  if (QWidget* w = W(m_hWnd)) w->setFocus(Qt::OtherFocusReason);
}

int CButton::GetCheck() const {
  auto* b = qobject_cast<QAbstractButton*>(W(m_hWnd));
  return b && b->isChecked() ? 1 : 0;
}
void CButton::SetCheck(int check) {
  if (auto* b = qobject_cast<QAbstractButton*>(W(m_hWnd))) b->setChecked(check != 0);
}

void CEdit::SetSel(int start, int end) {
  auto* e = qobject_cast<QLineEdit*>(W(m_hWnd));
  if (!e) return;
  const int len = static_cast<int>(e->text().size());
  if (end < 0 || end > len) end = len;
  e->setSelection(start, end - start);
}

namespace {

QComboBox* Combo(HWND h) { return qobject_cast<QComboBox*>(W(h)); }

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    // The list's order ignores letter case, as a sorted Windows list does.
    const unsigned char x = text::FoldCase(static_cast<unsigned char>(a[i]));
    const unsigned char y = text::FoldCase(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

int CComboBox::GetCount() const { return Combo(m_hWnd) ? Combo(m_hWnd)->count() : 0; }
int CComboBox::GetCurSel() const { return Combo(m_hWnd) ? Combo(m_hWnd)->currentIndex() : CB_ERR; }

int CComboBox::SetCurSel(int index) {
  QComboBox* c = Combo(m_hWnd);
  if (!c) return CB_ERR;
  if (index < 0 || index >= c->count()) {
    c->setCurrentIndex(-1);
    return CB_ERR;
  }
  c->setCurrentIndex(index);
  return index;
}

int CComboBox::AddString(const std::string& text) {
  QComboBox* c = Combo(m_hWnd);
  if (!c) return CB_ERR;
  int pos = c->count();
  if (c->property("sorted").toBool()) {
    for (int i = 0; i < c->count(); ++i) {
      if (CompareNoCase(GetLBText(i), text) > 0) {
        pos = i;
        break;
      }
    }
  }
  return InsertString(pos, text);
}

int CComboBox::InsertString(int index, const std::string& text) {
  QComboBox* c = Combo(m_hWnd);
  if (!c) return CB_ERR;
  if (index < 0 || index > c->count()) index = c->count();
  const int sel = c->currentIndex();
  c->insertItem(index, FromCp1252(text));
  // Qt selects the first item added to an empty list; a Windows list selects nothing.
  if (sel < 0) c->setCurrentIndex(-1);
  return index;
}

int CComboBox::DeleteString(int index) {
  QComboBox* c = Combo(m_hWnd);
  if (!c || index < 0 || index >= c->count()) return CB_ERR;
  const int sel = c->currentIndex();
  c->removeItem(index);
  if (sel == index) c->setCurrentIndex(-1);
  return c->count();
}

int CComboBox::SelectString(int startAfter, const std::string& prefix) {
  QComboBox* c = Combo(m_hWnd);
  if (!c) return CB_ERR;
  const int n = c->count();
  if (n == 0) return CB_ERR;
  const int first = (startAfter < 0 || startAfter >= n) ? 0 : startAfter + 1;
  for (int k = 0; k < n; ++k) {
    const int i = (first + k) % n;
    if (StartsWithNoCase(GetLBText(i), prefix)) {
      c->setCurrentIndex(i);
      return i;
    }
  }
  return CB_ERR;
}

std::string CComboBox::GetLBText(int index) const {
  QComboBox* c = Combo(m_hWnd);
  if (!c || index < 0 || index >= c->count()) return {};
  return ToCp1252(c->itemText(index));
}
