#include "Dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <climits>
#include <map>
#include <set>
#include <vector>

#include "App.h"
#include "internal/Cp1252.h"
#include "internal/VirtualKey.h"
#include "internal/Widgets.h"

using platform::FromCp1252;
using platform::H;
using platform::W;

namespace platform {

void ListCombo::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText.replace(QLatin1Char('\n'), QStringLiteral(" / "));
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

void FlatButton::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    click();
    return;
  }
  QPushButton::keyPressEvent(e);
}

}  // namespace platform

// Base units of an 8-point dialog font.
static int DuX(int x) { return x * 6 / 4; }
static int DuY(int y) { return y * 13 / 8; }

struct CDialog::Impl {
  DialogTemplate tmpl;
  std::unique_ptr<platform::DialogWindow> window;
  std::map<int, std::unique_ptr<CWnd>> items;
  std::map<int, QWidget*> widgets;
  std::map<unsigned, QTimer*> timers;
  std::set<unsigned> pendingTimers;
  int handlerDepth = 0;
  bool closeRequested = false;
  bool failing = false;  // a field's parse error is being reported
  bool ended = false;
  int result = IDCANCEL;
  QEventLoop* loop = nullptr;
  bool deliveryScheduled = false;
  // Edits whose text changed, not by the dialog itself, since the last exchange.
  std::set<int> changedEdits;
  // The last exchange stopped at a field it couldn't read.
  bool exchangeFailed = false;
  std::function<void()> endHandler;

  explicit Impl(const DialogTemplate& t) : tmpl(t) {}
};

namespace {

class KillFocusFilter : public QObject {
 public:
  KillFocusFilter(CDialog* dlg, int id, QObject* parent) : QObject(parent), m_dlg(dlg), m_id(id) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::FocusOut) {
      const auto reason = static_cast<QFocusEvent*>(e)->reason();
      // Focus that leaves with the window (a box opening, another program) is no edit being left.
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !platform::IsMessageBoxOpen())
        m_dlg->DispatchCommand(m_id, EN_KILLFOCUS);
    }
    return QObject::eventFilter(o, e);
  }

 private:
  CDialog* m_dlg;
  int m_id;
};

// A single-line edit takes pasted or typed text only up to its first line
// break, as the single-line edit of the design's window system does: a
// pasted "WHO\nDELE x" must not become a second command on the wire. Text
// set by the program is left as it is.
class FirstLineOnly : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    qsizetype cut = -1;
    for (qsizetype i = 0; i < input.size() && cut < 0; ++i)
      if (input[i] == QLatin1Char('\r') || input[i] == QLatin1Char('\n')) cut = i;
    // The break came with the text just inserted, which ends at the cursor.
    if (cut >= 0 && cut < pos) {
      input = input.left(cut) + input.mid(pos);
      pos = static_cast<int>(cut);
    }
    return Acceptable;
  }
};

QString DialogFace() {
  const QStringList families = QFontDatabase::families();
  for (const char* f : {"MS Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"})
    if (families.contains(QString::fromLatin1(f), Qt::CaseInsensitive)) return QString::fromLatin1(f);
  return QApplication::font().family();
}

}  // namespace

CDialog::CDialog(const DialogTemplate& tmpl) : d(std::make_unique<Impl>(tmpl)) {}

CDialog::~CDialog() {
  // The derived dialog's members are gone already: focus that leaves a
  // control while the window is torn down must run no handler.
  d->ended = true;
  d->endHandler = nullptr;
  for (auto& [id, t] : d->timers) delete t;
  d->timers.clear();
}

void CDialog::Create() {
  if (d->window) return;
  const DialogTemplate& t = d->tmpl;
  d->window = std::make_unique<platform::DialogWindow>(this);
  platform::DialogWindow* win = d->window.get();
  Attach(H(win));
  win->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  win->setWindowTitle(FromCp1252(t.caption));
  QFont font(DialogFace());
  font.setPointSize(t.pointSize);
  win->setFont(font);
  win->setFixedSize(DuX(t.cx), DuY(t.cy));

  QWidget* previousFocusable = nullptr;
  QLabel* pendingLabel = nullptr;
  int labelIndex = 0;
  for (const ControlTemplate& c : t.controls) {
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::PushButton: {
        auto* b = new platform::FlatButton(FromCp1252(c.caption), win);
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setStyleSheet(
            QStringLiteral("QPushButton{border:1px solid #7a7a7a;background:#ececec;padding:0 2px;}"
                           "QPushButton:hover{background:#f6f6f6;}QPushButton:pressed{background:#d4d4d4;}"
                           "QPushButton:focus{border:1px solid #3a6ea5;}QPushButton:disabled{color:#9a9a9a;}"));
        const int id = c.id;
        QObject::connect(b, &QPushButton::clicked, win, [this, id] { DispatchCommand(id, BN_CLICKED); });
        w = b;
        break;
      }
      case ControlKind::CheckBox: {
        auto* b = new QCheckBox(FromCp1252(c.caption), win);
        if (c.style & BS_LEFTTEXT) b->setLayoutDirection(Qt::RightToLeft);
        const int id = c.id;
        QObject::connect(b, &QCheckBox::clicked, win, [this, id] { DispatchCommand(id, BN_CLICKED); });
        w = b;
        break;
      }
      case ControlKind::Edit: {
        auto* e = new QLineEdit(win);
        e->setMaxLength(INT_MAX);
        if (c.style & ES_PASSWORD) e->setEchoMode(QLineEdit::Password);
        if (c.style & ES_NUMBER)
          e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        else
          e->setValidator(new FirstLineOnly(e));
        e->installEventFilter(new KillFocusFilter(this, c.id, e));
        w = e;
        break;
      }
      case ControlKind::ComboBox: {
        auto* cb = new platform::ListCombo(win);
        cb->setProperty("sorted", (c.style & CBS_SORT) != 0);
        cb->setMaxVisibleItems(std::max(3, (c.cy - 14) / 8));
        cb->setItemDelegate(new QStyledItemDelegate(cb));  // items of two lines show both in the list
        const int id = c.id;
        QObject::connect(cb, &QComboBox::activated, win, [this, id] { DispatchCommand(id, CBN_SELCHANGE); });
        w = cb;
        break;
      }
      case ControlKind::Static: {
        auto* l = new QLabel(FromCp1252(c.caption), win);
        l->setTextFormat(Qt::PlainText);  // a label shows its text as it is, markup and all
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        w = l;
        break;
      }
      case ControlKind::GroupBox: {
        auto* g = new QGroupBox(FromCp1252(c.caption), win);
        // The frame's top line runs through the middle of the caption, as a dialog's group box does.
        g->setStyleSheet(QStringLiteral(
            "QGroupBox{border:1px solid #a0a0a0;border-radius:2px;margin-top:0.6em;}"
            "QGroupBox::title{subcontrol-origin:margin;subcontrol-position:top left;left:6px;padding:0 2px;}"));
        w = g;
        break;
      }
      case ControlKind::RichEdit:
        w = new platform::PaneWidget(win);
        break;
    }
    // A closed drop-down list is one row high; the template's height is its open list.
    const int height = c.kind == ControlKind::ComboBox ? DuY(14) : DuY(c.cy);
    w->setGeometry(DuX(c.x), DuY(c.y), DuX(c.cx), height);
    w->setObjectName(c.id >= 0 ? QStringLiteral("id%1").arg(c.id) : QStringLiteral("label%1").arg(labelIndex++));
    if (!c.accessibleName.empty()) w->setAccessibleName(FromCp1252(c.accessibleName));
    if (c.style & STYLE_DISABLED) w->setEnabled(false);
    if (c.style & STYLE_HIDDEN) w->hide();

    // A label in front of an edit or list names it for screen readers.
    if (auto* l = qobject_cast<QLabel*>(w)) {
      pendingLabel = l;
    } else {
      if (pendingLabel && (c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox)) {
        pendingLabel->setBuddy(w);
        if (c.accessibleName.empty()) w->setAccessibleName(pendingLabel->text());
      }
      pendingLabel = nullptr;
    }

    const bool focusable = c.kind != ControlKind::Static && c.kind != ControlKind::GroupBox &&
                           c.kind != ControlKind::RichEdit && !(c.style & STYLE_HIDDEN);
    if (focusable) {
      if (previousFocusable) QWidget::setTabOrder(previousFocusable, w);
      previousFocusable = w;
    } else if (c.kind == ControlKind::RichEdit) {
      w->setFocusPolicy(Qt::ClickFocus);  // the pane is clicked into, never tabbed into
    }
    if (c.id >= 0) {
      d->widgets[c.id] = w;
      auto item = std::make_unique<CWnd>(H(w));
      d->items[c.id] = std::move(item);
    }
  }
  WatchEditsForExchange();
}

CWnd* CDialog::GetDlgItem(int id) const {
  auto it = d->items.find(id);
  return it == d->items.end() ? nullptr : it->second.get();
}

bool CDialog::OnInitDialog() {
  WriteFields();
  return true;
}

void CDialog::Start() {
  Create();
  d->ended = false;
  d->result = IDCANCEL;
  ++d->handlerDepth;
  const bool setDefaultFocus = OnInitDialog();
  --d->handlerDepth;
  if (!d->window->isWindow()) {
    // A page of a tabbed window: the window it lives in shows it when it is
    // the current page, and has the place and the activation.
    d->window->window()->activateWindow();
  } else {
    d->window->show();
    // Centre on the screen, as a dialog without a position of its own is.
    if (QScreen* s = d->window->screen()) {
      QRect frame = d->window->frameGeometry();
      frame.moveCenter(s->availableGeometry().center());
      d->window->move(frame.topLeft());
    }
    // The dialog starts as the active window, as the design's modal dialog
    // does, so the control given the focus shows its caret from the first key
    // (a window manager may still decline; the keys reach that control anyway).
    d->window->activateWindow();
  }
  if (setDefaultFocus) {
    for (const ControlTemplate& c : d->tmpl.controls) {
      QWidget* w = c.id >= 0 ? d->widgets[c.id] : nullptr;
      if (w && w->isEnabled() && w->isVisibleTo(d->window.get()) && (w->focusPolicy() & Qt::TabFocus)) {
        w->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }
  if (d->handlerDepth == 0) AfterHandlers();
}

int CDialog::DoModal() {
  Start();
  if (!d->ended) {
    QEventLoop loop;
    d->loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    d->loop = nullptr;
  }
  d->window->hide();
  return d->result;
}

bool CDialog::IsEnded() const { return d->ended; }

void CDialog::EndDialog(int result) {
  d->result = result;
  d->ended = true;
  if (d->loop) d->loop->quit();
  if (d->window) d->window->hide();
  // Whoever is told may destroy the dialog: not while its handler runs.
  if (d->endHandler && d->window) QTimer::singleShot(0, d->window.get(), [this] {
    if (auto ended = std::move(d->endHandler)) ended();
  });
}

void CDialog::SetEndHandler(std::function<void()> ended) { d->endHandler = std::move(ended); }

void CDialog::EmbedIn(HWND parent) {
  Create();
  d->window->setParent(W(parent), Qt::Widget);
}

void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::OnClose() { EndDialog(IDCANCEL); }

bool CDialog::IsInHandler() const { return d->handlerDepth > 0; }

bool CDialog::ReadFields() { return ExchangeFields(true); }
void CDialog::WriteFields() { ExchangeFields(false); }

// Every bound control in exchange order; a number that can't be read stops
// the reading there.
bool CDialog::ExchangeFields(bool read) {
  std::vector<const ControlTemplate*> bound;
  for (const ControlTemplate& c : d->tmpl.controls)
    if (!std::holds_alternative<std::monostate>(c.binding)) bound.push_back(&c);
  std::stable_sort(bound.begin(), bound.end(), [](const ControlTemplate* a, const ControlTemplate* b) {
    return a->exchangeOrder < b->exchangeOrder;
  });
  for (const ControlTemplate* row : bound) {
    const ControlTemplate& c = *row;
    CWnd* item = c.id >= 0 ? GetDlgItem(c.id) : nullptr;
    if (!item) continue;
    QWidget* widget = W(item->GetSafeHwnd());
    if (auto* control = std::get_if<CWnd*>(&c.binding)) {
      if (!(*control)->GetSafeHwnd()) (*control)->Attach(item->GetSafeHwnd());
    } else if (auto* text = std::get_if<std::string*>(&c.binding)) {
      if (read)
        **text = item->GetWindowText();
      else
        item->SetWindowText(**text);
    } else if (auto* tick = std::get_if<bool*>(&c.binding)) {
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
        if (read)
          **tick = b->isChecked();
        else
          b->setChecked(**tick);
      }
    } else if (auto* number = std::get_if<unsigned*>(&c.binding)) {
      if (read) {
        if (!ReadNumber(c.id, **number)) return false;
      } else if (auto* e = qobject_cast<QLineEdit*>(widget)) {
        const QString t = QString::number(**number);
        if (e->text() != t) e->setText(t);
      }
    }
  }
  d->changedEdits.clear();  // members and controls agree now
  d->exchangeFailed = false;
  return true;
}

void CDialog::RunHandler(int id, int notification) {
  for (const ControlTemplate& c : d->tmpl.controls) {
    if (c.id != id || !c.handler) continue;
    const int expected = c.kind == ControlKind::Edit       ? EN_KILLFOCUS
                         : c.kind == ControlKind::ComboBox ? CBN_SELCHANGE
                                                           : BN_CLICKED;
    if (notification == expected) c.handler();
    return;
  }
}

// Text can reach an edit without the focus passing through it: an assistive
// technology sets it through the accessibility interface, or it is dropped
// there. The dialog's own writes happen inside its handlers and don't count.
void CDialog::WatchEditsForExchange() {
  for (const auto& [id, widget] : d->widgets)
    if (auto* e = qobject_cast<QLineEdit*>(widget))
      QObject::connect(e, &QLineEdit::textChanged, d->window.get(), [this, id = id] {
        if (d->handlerDepth == 0) d->changedEdits.insert(id);
      });
}

// Before a click or a selection is handled, every edit whose text changed
// since the last exchange counts as left, as it would be had the user clicked
// there: its focus-loss handler runs first, so the handler reads what the
// controls hold.
void CDialog::LeaveChangedEdits() {
  while (!d->changedEdits.empty() && !d->failing) {
    const int id = *d->changedEdits.begin();
    d->changedEdits.erase(d->changedEdits.begin());
    ++d->handlerDepth;
    RunHandler(id, EN_KILLFOCUS);
    --d->handlerDepth;
  }
}

void CDialog::SetTimer(unsigned id, unsigned milliseconds) {
  Create();
  QTimer*& t = d->timers[id];
  if (!t) {
    t = new QTimer(d->window.get());
    t->setTimerType(Qt::PreciseTimer);  // an anti-idle period of minutes must not drift by seconds
    QObject::connect(t, &QTimer::timeout, d->window.get(), [this, id] { DispatchTimer(id); });
  }
  t->start(static_cast<int>(std::min<unsigned>(milliseconds, INT_MAX)));
}

void CDialog::KillTimer(unsigned id) {
  auto it = d->timers.find(id);
  if (it != d->timers.end()) {
    delete it->second;
    d->timers.erase(it);
  }
  d->pendingTimers.erase(id);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return platform::ShowMessageBox(m_hWnd, {text, caption.empty() ? AfxGetApp()->m_pszAppName : caption, type});
}

void CDialog::DispatchCommand(int id, int notification) {
  if (d->ended) return;
  if (notification == EN_KILLFOCUS && d->failing) return;
  if ((notification == BN_CLICKED || notification == CBN_SELCHANGE) && id != IDOK && id != IDCANCEL) {
    LeaveChangedEdits();
    // While a field can't be read (the box has said so and the field holds
    // the focus), a push button does nothing: Connect must not go to the
    // port the field held before. Check boxes and lists have already changed
    // when they report, so their handlers run and follow them.
    const auto widget = d->widgets.find(id);
    if (d->exchangeFailed && widget != d->widgets.end() && qobject_cast<QPushButton*>(widget->second)) return;
  }
  ++d->handlerDepth;
  if (id == IDCANCEL)
    OnCancel();
  else if (id == IDOK)
    OnOK();
  else
    RunHandler(id, notification);
  if (--d->handlerDepth == 0) AfterHandlers();
}

void CDialog::DispatchTimer(unsigned id) {
  if (d->ended) return;
  if (d->handlerDepth > 0) {
    d->pendingTimers.insert(id);
    return;
  }
  ++d->handlerDepth;
  OnTimer(id);
  if (--d->handlerDepth == 0) AfterHandlers();
}

void CDialog::DispatchClose() {
  if (d->ended) return;
  if (d->handlerDepth > 0) {
    // A handler runs (a box is open): close once it has returned.
    d->closeRequested = true;
    return;
  }
  ++d->handlerDepth;
  OnClose();
  if (--d->handlerDepth == 0) AfterHandlers();
}

void CDialog::DispatchKey(unsigned nChar, unsigned nRepCnt, unsigned nFlags, bool isChar) {
  if (d->ended || d->handlerDepth > 0) return;
  ++d->handlerDepth;
  if (isChar)
    OnChar(nChar, nRepCnt, nFlags);
  else
    OnKeyDown(nChar, nRepCnt, nFlags);
  if (--d->handlerDepth == 0) AfterHandlers();
}

// What fell due while handlers ran comes after the outermost one.
void CDialog::AfterHandlers() {
  CDialog* dlg = this;
  Impl& d = *this->d;
  if (d.closeRequested) {
    d.closeRequested = false;
    dlg->DispatchClose();
    return;
  }
  if (d.pendingTimers.empty() || d.deliveryScheduled || !d.window) return;
  d.deliveryScheduled = true;
  QTimer::singleShot(0, d.window.get(), [dlg, &d] {
    d.deliveryScheduled = false;
    const std::set<unsigned> due = std::move(d.pendingTimers);
    d.pendingTimers.clear();
    for (unsigned id : due)
      if (d.timers.count(id)) dlg->DispatchTimer(id);
  });
}

// ---- data exchange ----

bool ParseUnsigned(const std::string& text, unsigned& value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t first = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  const std::size_t digits = i - first;
  // A number that does not fit is an error, never a wrap: "4294967317" must
  // not quietly become port 21. A digit string longer than ten is refused
  // whatever its value, so no count of leading zeros hides a big number.
  if (digits == 0 || digits > 10) return false;
  unsigned long long v = 0;
  for (std::size_t k = first; k < i; ++k) v = v * 10 + static_cast<unsigned>(text[k] - '0');
  if (v > UINT_MAX || (negative && v != 0)) return false;
  value = static_cast<unsigned>(v);
  return true;
}

bool CDialog::ReadNumber(int id, unsigned& value) {
  CWnd* item = GetDlgItem(id);
  auto* e = item ? qobject_cast<QLineEdit*>(W(item->GetSafeHwnd())) : nullptr;
  if (!e) return true;
  unsigned parsed = 0;
  if (ParseUnsigned(platform::ToCp1252(e->text()), parsed)) {
    value = parsed;
    return true;
  }
  QString field = e->accessibleName().trimmed();
  if (field.endsWith(QLatin1Char(':'))) field.chop(1);
  const std::string text = "Please enter an unsigned number" +
                           (field.isEmpty() ? std::string() : " in the field \"" + platform::ToCp1252(field) + "\"") +
                           ": a whole number of 0 or more, digits only.";
  // One box per failed exchange: focus moving while it opens and closes must not start another.
  d->failing = true;
  d->exchangeFailed = true;
  MessageBox(text, AfxGetApp()->m_pszAppName, MB_ICONEXCLAMATION);
  e->setFocus(Qt::OtherFocusReason);
  e->selectAll();
  QPointer<QLineEdit> field_ptr(e);
  Impl* impl = d.get();
  QTimer::singleShot(0, e, [impl, field_ptr] {
    if (field_ptr) {
      field_ptr->setFocus(Qt::OtherFocusReason);
      field_ptr->selectAll();
    }
    impl->failing = false;
  });
  return false;
}

// ---- the window ----

namespace platform {

void DialogWindow::reject() { m_owner->DispatchCommand(IDCANCEL, BN_CLICKED); }

void DialogWindow::closeEvent(QCloseEvent* e) {
  e->ignore();  // the dialog ends itself through EndDialog
  m_owner->DispatchClose();
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  // The dialog itself holds the focus when none of its controls does. Asked
  // of the window, not of the application: until the window system has made
  // the window active the application knows no focus widget, yet keys already
  // go to the control showing the caret, and those it leaves alone (Enter in
  // an edit) come up here.
  QWidget* f = focusWidget();
  if (f == nullptr || f == this) {
    const unsigned repeat = static_cast<unsigned>(std::max(1, e->count()));
    const unsigned flags = KeyFlagsOf(*e);
    if (const unsigned vk = VirtualKeyOf(*e)) m_owner->DispatchKey(vk, repeat, flags, false);
    if (!e->text().isEmpty()) m_owner->DispatchKey(e->text().at(0).unicode(), repeat, flags, true);
    return;
  }
  e->ignore();  // keys the controls leave alone end here, as Enter in an edit must
}

}  // namespace platform
