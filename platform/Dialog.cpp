#include "Dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "Controls.h"
#include "MessageBox.h"
#include "internal/Cp1252.h"
#include "internal/VirtualKey.h"
#include "internal/Widgets.h"

namespace platform {

struct Dialog::Field {
  int id;
  const void* address;  // the form's member: the order of reading is the order of the form
  QWidget* widget;
  std::string* text = nullptr;
  unsigned* number = nullptr;
  bool* tick = nullptr;
  bool changed = false;  // the control may show something the form does not hold yet
};

namespace {

// Focus that leaves with the window (a box opening, another program) is no edit being left.
class LeaveFilter : public QObject {
 public:
  LeaveFilter(std::function<void()> left, QObject* parent) : QObject(parent), m_left(std::move(left)) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::FocusOut) {
      const auto reason = static_cast<QFocusEvent*>(e)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !IsMessageBoxOpen()) m_left();
    }
    return QObject::eventFilter(o, e);
  }

 private:
  std::function<void()> m_left;
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

Dialog::Dialog(const std::string& title) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(FromCp1252(title));
  QFont font(DialogFace());
  font.setPointSize(8);
  setFont(font);
}

Dialog::~Dialog() {
  // The derived dialog's members are gone already: focus that leaves a
  // control while the window is torn down must run no handler.
  m_ended = true;
  m_endHandler = nullptr;
  for (QObject* child : children())
    if (child->isWidgetType()) child->disconnect(this);
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

// ---- the builder ----

void Dialog::Place(QWidget* w, int id, bool focusable) {
  w->setObjectName(id >= 0 ? QStringLiteral("id%1").arg(id) : QStringLiteral("label%1").arg(m_labelIndex++));
  if (id >= 0) m_controls[id] = w;
  // A label in front of an edit or list names it for screen readers.
  if (auto* l = qobject_cast<QLabel*>(w)) {
    m_pendingLabel = l;
  } else {
    if (m_pendingLabel && (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w))) {
      m_pendingLabel->setBuddy(w);
      if (w->accessibleName().isEmpty()) w->setAccessibleName(m_pendingLabel->text());
    }
    m_pendingLabel = nullptr;
  }
  if (focusable) {
    if (m_previousFocusable) QWidget::setTabOrder(m_previousFocusable, w);
    m_previousFocusable = w;
  }
}

Dialog::Field& Dialog::Bind(QWidget* widget, int id, const void* address) {
  m_fields.push_back(std::make_unique<Field>(Field{id, address, widget}));
  return *m_fields.back();
}

QGroupBox* Dialog::Frame(const std::string& caption) {
  auto* g = new QGroupBox(FromCp1252(caption), this);
  // The frame's top line runs through the middle of the caption, as a dialog's group box does.
  g->setStyleSheet(QStringLiteral(
      "QGroupBox{border:1px solid #a0a0a0;border-radius:2px;margin-top:0.6em;}"
      "QGroupBox::title{subcontrol-origin:margin;subcontrol-position:top left;left:6px;padding:0 2px;}"));
  Place(g, -1, false);
  return g;
}

QLabel* Dialog::Label(const std::string& caption, int id) {
  auto* l = new QLabel(FromCp1252(caption), this);
  l->setTextFormat(Qt::PlainText);  // a label shows its text as it is, markup and all
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(l, id, false);
  return l;
}

FlatButton* Dialog::Button(int id, const std::string& caption, Handler clicked) {
  auto* b = new FlatButton(FromCp1252(caption), this);
  connect(b, &QPushButton::clicked, this, [this, id, clicked = std::move(clicked)] { Dispatch(id, Event::Click, clicked); });
  Place(b, id, true);
  return b;
}

QCheckBox* Dialog::Check(int id, const std::string& caption, bool& field, Handler clicked, bool textLeft) {
  auto* b = new QCheckBox(FromCp1252(caption), this);
  if (textLeft) b->setLayoutDirection(Qt::RightToLeft);
  Bind(b, id, &field).tick = &field;
  connect(b, &QCheckBox::clicked, this, [this, id, clicked = std::move(clicked)] { Dispatch(id, Event::Click, clicked); });
  Place(b, id, true);
  return b;
}

QLineEdit* Dialog::Edit(int id, std::string& field, const std::string& name, unsigned style, Handler left) {
  auto* e = new QLineEdit(this);
  e->setMaxLength(INT_MAX);
  if (style & kPassword) e->setEchoMode(QLineEdit::Password);
  if (style & kDigits)
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
  else
    e->setValidator(new FirstLineOnly(e));
  if (!name.empty()) e->setAccessibleName(FromCp1252(name));
  Field& f = Bind(e, id, &field);
  f.text = &field;
  if (left) m_leaveHandlers[id] = left;
  e->installEventFilter(new LeaveFilter([this, id, left] { Dispatch(id, Event::Leave, left); }, e));
  // Text can reach an edit without the focus passing through it: an assistive
  // technology sets it, or it is dropped there. The dialog's own writes don't count.
  connect(e, &QLineEdit::textChanged, this, [this, id, &f] {
    if (m_writing) return;
    f.changed = true;
    if (m_handlerDepth == 0) m_changedEdits.insert(id);
  });
  Place(e, id, true);
  return e;
}

QLineEdit* Dialog::Number(int id, unsigned& field, Handler left) {
  std::string unused;
  QLineEdit* e = Edit(id, unused, "", kDigits, std::move(left));
  Field& f = *m_fields.back();
  f.text = nullptr;
  f.number = &field;
  f.address = &field;
  return e;
}

ListCombo* Dialog::List(int id, const std::string& name, bool sorted, int visibleItems, Handler selected) {
  auto* c = new ListCombo(sorted, this);
  c->setMaxVisibleItems(visibleItems);
  if (!name.empty()) c->setAccessibleName(FromCp1252(name));
  connect(c, &QComboBox::activated, this, [this, id, selected = std::move(selected)] { Dispatch(id, Event::Select, selected); });
  Place(c, id, true);
  return c;
}

PaneWidget* Dialog::Pane(int id, const std::string& name) {
  auto* p = new PaneWidget(this);
  p->setAccessibleName(FromCp1252(name));
  p->setFocusPolicy(Qt::ClickFocus);  // the pane is clicked into, never tabbed into
  Place(p, id, false);
  return p;
}

void Dialog::FinishBuilding() {
  std::stable_sort(m_fields.begin(), m_fields.end(),
                   [](const auto& a, const auto& b) { return std::less<const void*>()(a->address, b->address); });
}

void Dialog::SetSmallestSize(int width, int height) {
  m_smallestUnits = QSize(width, height);
  UpdateSmallestSize();
}

namespace {
QSize InUnits(const QFont& font, QSize units) {
  const QFontMetrics fm(font);
  return {units.width() * fm.averageCharWidth() / 4, units.height() * fm.height() / 8};
}
}  // namespace

void Dialog::AtLeast(QWidget* control, int width, int height) {
  m_leastUnits.emplace_back(control, QSize(width, height));
  control->setMinimumSize(InUnits(control->font(), QSize(width, height)));
}

void Dialog::UpdateSmallestSize() {
  for (const auto& [control, units] : m_leastUnits) control->setMinimumSize(InUnits(control->font(), units));
  if (m_smallestUnits.isEmpty()) return;
  const int w = m_smallestUnits.width(), h = m_smallestUnits.height();
  QSize smallest(w * 6 / 4, h * 13 / 8);
  smallest = smallest.expandedTo(InUnits(font(), m_smallestUnits));
  if (QLayout* l = layout()) {
    l->invalidate();
    l->activate();
    smallest = smallest.expandedTo(l->totalMinimumSize());
  }
  setMinimumSize(smallest);
}

QSize Dialog::sizeHint() const { return minimumSize().isEmpty() ? QDialog::sizeHint() : minimumSize(); }

void Dialog::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  if (e->type() != QEvent::FontChange) return;
  // Controls with a style sheet of their own keep the font they had: pass it on.
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!w->styleSheet().isEmpty() && w->font() != font()) w->setFont(font());
  UpdateSmallestSize();
}

QWidget* Dialog::Control(int id) const {
  const auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

void Dialog::SetText(int id, const std::string& text) {
  auto* e = qobject_cast<QLineEdit*>(Control(id));
  if (!e) return;
  m_writing = true;
  e->setText(FromCp1252(text));
  m_writing = false;
  for (auto& f : m_fields)
    if (f->id == id) f->changed = true;
}

// ---- fields ----

bool Dialog::ReadFields() {
  for (auto& fp : m_fields) {
    Field& f = *fp;
    // A check box that shows another state than the form holds has changed,
    // by the user, a screen reader or a test. (Watching its toggled signal
    // would make it a "controller" of the dialog to a screen reader.)
    if (!f.changed && !(f.tick && static_cast<QCheckBox*>(f.widget)->isChecked() != *f.tick)) continue;
    if (f.number) {
      if (!ReadNumber(f)) return false;
    } else if (f.text) {
      *f.text = ToCp1252(static_cast<QLineEdit*>(f.widget)->text());
    } else if (f.tick) {
      *f.tick = static_cast<QCheckBox*>(f.widget)->isChecked();
    }
    f.changed = false;
  }
  m_changedEdits.clear();  // the form and the controls agree now
  m_readingFailed = false;
  return true;
}

void Dialog::Write(Field& f) {
  m_writing = true;
  if (f.tick) {
    static_cast<QCheckBox*>(f.widget)->setChecked(*f.tick);
  } else {
    auto* e = static_cast<QLineEdit*>(f.widget);
    const QString t = f.number ? QString::number(*f.number) : FromCp1252(*f.text);
    if (e->text() != t) e->setText(t);
  }
  m_writing = false;
  f.changed = false;
}

void Dialog::WriteFields() {
  for (auto& f : m_fields) Write(*f);
  m_changedEdits.clear();
  m_readingFailed = false;
}

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

bool Dialog::ReadNumber(Field& f) {
  auto* e = static_cast<QLineEdit*>(f.widget);
  unsigned parsed = 0;
  if (ParseUnsigned(ToCp1252(e->text()), parsed)) {
    *f.number = parsed;
    return true;
  }
  QString field = e->accessibleName().trimmed();
  if (field.endsWith(QLatin1Char(':'))) field.chop(1);
  const std::string text = "Please enter an unsigned number" +
                           (field.isEmpty() ? std::string() : " in the field \"" + ToCp1252(field) + "\"") +
                           ": a whole number of 0 or more, digits only.";
  // One box per failed reading: focus moving while it opens and closes must not start another.
  m_failing = true;
  m_readingFailed = true;
  // No caption, as this box always had: the window system shows the program's name.
  Box(text, "", kBoxWarning);
  e->setFocus(Qt::OtherFocusReason);
  e->selectAll();
  QPointer<QLineEdit> again(e);
  QTimer::singleShot(0, this, [this, again] {
    if (again) {
      again->setFocus(Qt::OtherFocusReason);
      again->selectAll();
    }
    m_failing = false;
  });
  return false;
}

// ---- handlers ----

void Dialog::RunHandler(const Handler& handler) {
  ++m_handlerDepth;
  if (handler) handler();
  if (--m_handlerDepth == 0) AfterHandlers();
}

void Dialog::Dispatch(int id, Event event, const Handler& handler) {
  if (m_ended) return;
  if (event == Event::Leave && m_failing) return;
  if (event != Event::Leave) {
    LeaveChangedEdits();
    // While a field can't be read (the box has said so and the field holds
    // the focus), a push button does nothing: Connect must not go to the
    // port the field held before. Check boxes and lists have already changed
    // when they report, so their handlers run and follow them.
    if (m_readingFailed && qobject_cast<QPushButton*>(Control(id))) return;
  }
  RunHandler(handler);
}

// Before a click or a selection is handled, every edit whose text changed
// since the last reading counts as left, as it would be had the user clicked
// there: its handler runs first, so the click's handler reads what the
// controls hold.
void Dialog::LeaveChangedEdits() {
  while (!m_changedEdits.empty() && !m_failing) {
    const int id = *m_changedEdits.begin();
    m_changedEdits.erase(m_changedEdits.begin());
    ++m_handlerDepth;
    if (const auto it = m_leaveHandlers.find(id); it != m_leaveHandlers.end()) it->second();
    --m_handlerDepth;
  }
}

bool Dialog::OnInitDialog() {
  WriteFields();
  return true;
}

void Dialog::Start() {
  m_ended = false;
  ++m_handlerDepth;
  const bool setDefaultFocus = OnInitDialog();
  --m_handlerDepth;
  if (!isWindow()) {
    // A page of a tabbed window: the window it lives in shows it when it is
    // the current page, and has the place and the activation.
    window()->activateWindow();
  } else {
    resize(sizeHint());
    show();
    // Centre on the screen, as a dialog without a position of its own is.
    if (QScreen* s = screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(s->availableGeometry().center());
      move(frame.topLeft());
    }
    // The dialog starts as the active window, as the design's modal dialog
    // does, so the control given the focus shows its caret from the first key
    // (a window manager may still decline; the keys reach that control anyway).
    activateWindow();
  }
  if (setDefaultFocus) {
    for (const auto& [id, w] : m_controls)
      if (w->isEnabled() && w->isVisibleTo(this) && (w->focusPolicy() & Qt::TabFocus)) {
        w->setFocus(Qt::TabFocusReason);
        break;
      }
  }
  if (m_handlerDepth == 0) AfterHandlers();
}

void Dialog::EndDialog(int result) {
  setResult(result);
  m_ended = true;
  hide();
  // Whoever is told may destroy the dialog: not while its handler runs.
  if (m_endHandler) QTimer::singleShot(0, this, [this] {
    if (auto ended = std::move(m_endHandler)) ended();
  });
}

void Dialog::EmbedIn(QWidget* parent) { setParent(parent, Qt::Widget); }

void Dialog::OnClose() { EndDialog(QDialog::Rejected); }
void Dialog::OnCancel() { EndDialog(QDialog::Rejected); }

void Dialog::SetTimer(unsigned id, unsigned milliseconds) {
  QTimer*& t = m_timers[id];
  if (!t) {
    t = new QTimer(this);
    t->setTimerType(Qt::PreciseTimer);  // an anti-idle period of minutes must not drift by seconds
    connect(t, &QTimer::timeout, this, [this, id] {
      if (m_ended) return;
      if (m_handlerDepth > 0) {
        m_pendingTimers.insert(id);
        return;
      }
      RunHandler([this, id] { OnTimer(id); });
    });
  }
  t->start(static_cast<int>(std::min<unsigned>(milliseconds, INT_MAX)));
}

void Dialog::KillTimer(unsigned id) {
  if (const auto it = m_timers.find(id); it != m_timers.end()) {
    delete it->second;
    m_timers.erase(it);
  }
  m_pendingTimers.erase(id);
}

int Dialog::Box(const std::string& text, const std::string& caption, unsigned type) {
  return ShowMessageBox(this, {text, caption, type});
}

void Dialog::RequestClose() {
  if (m_ended) return;
  if (m_handlerDepth > 0) {
    // A handler runs (a box is open): close once it has returned.
    m_closeRequested = true;
    return;
  }
  RunHandler([this] { OnClose(); });
}

// What fell due while handlers ran comes after the outermost one.
void Dialog::AfterHandlers() {
  if (m_closeRequested) {
    m_closeRequested = false;
    RequestClose();
    return;
  }
  if (m_pendingTimers.empty() || m_deliveryScheduled) return;
  m_deliveryScheduled = true;
  QTimer::singleShot(0, this, [this] {
    m_deliveryScheduled = false;
    const std::set<unsigned> due = std::move(m_pendingTimers);
    m_pendingTimers.clear();
    for (unsigned id : due)
      if (m_timers.count(id) && !m_ended) {
        if (m_handlerDepth > 0) {
          m_pendingTimers.insert(id);
          continue;
        }
        RunHandler([this, id] { OnTimer(id); });
      }
  });
}

// ---- the window ----

void Dialog::reject() {
  if (m_ended) return;
  RunHandler([this] { OnCancel(); });
}

void Dialog::closeEvent(QCloseEvent* e) {
  e->ignore();  // the dialog ends itself through EndDialog
  RequestClose();
}

void Dialog::keyPressEvent(QKeyEvent* e) {
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
    if (m_ended || m_handlerDepth > 0) return;
    const unsigned repeat = static_cast<unsigned>(std::max(1, e->count()));
    const unsigned flags = KeyFlagsOf(*e);
    if (const unsigned vk = VirtualKeyOf(*e)) RunHandler([&] { OnKeyDown(vk, repeat, flags); });
    if (!e->text().isEmpty() && !m_ended && m_handlerDepth == 0) {
      const unsigned ch = e->text().at(0).unicode();
      RunHandler([&] { OnChar(ch, repeat, flags); });
    }
    return;
  }
  e->ignore();  // keys the controls leave alone end here, as Enter in an edit must
}

}  // namespace platform
