#include "DialogHarness.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "Controls.h"
#include "res/resource.h"

namespace {
QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toLatin1().toStdString(); }
}  // namespace

DialogHarness::DialogHarness(const std::string* commandList) {
  if (commandList) WriteFile(folder / "commandList.ini", *commandList);
  platform::SetMessageBoxPresenter([this](const platform::MessageBoxCall& call) {
    boxes.push_back(call);
    return answer ? answer(call) : platform::kAnswerOk;
  });
  m_dlg = std::make_unique<CSiteCmdDlg>();
}

DialogHarness::~DialogHarness() {
  m_dlg.reset();
  platform::SetMessageBoxPresenter({});
}

void DialogHarness::Start(bool waitForStartup) {
  m_dlg->Start();
  if (waitForStartup) WaitUntil([this] { return Window()->windowTitle() != QLatin1String("Korvastel"); });
}

QWidget* DialogHarness::Window() const { return m_dlg.get(); }

QWidget* DialogHarness::Item(int id) const {
  return m_dlg->Control(id);
}

void DialogHarness::Click(int id) {
  // A user clicks between exchanges; one that runs (an anti-idle command) ends first.
  WaitUntil([this] { return !m_dlg->IsWorking(); }, 15000);
  QWidget* w = Item(id);
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    w->setFocus(Qt::MouseFocusReason);  // a click takes the focus first, as it does for the user
    b->click();
  }
  Settle();
}

void DialogHarness::Settle() {
  ProcessEvents();
  WaitUntil([this] { return !m_dlg->IsWorking(); }, 15000);
  ProcessEvents();
}

void DialogHarness::Type(int id, const std::string& text) {
  if (auto* e = ItemAs<QLineEdit>(id)) e->setText(Q(text));
}

std::string DialogHarness::Text(int id) const {
  QWidget* w = Item(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) return S(e->text());
  if (auto* l = qobject_cast<QLabel*>(w)) return S(l->text());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return S(b->text());
  if (auto* c = qobject_cast<QComboBox*>(w)) return S(c->currentText());
  return {};
}

void DialogHarness::Focus(int id) {
  Item(id)->setFocus(Qt::MouseFocusReason);
  ProcessEvents();
}

void DialogHarness::Fill(const std::string& port, const std::string& login, const std::string& password,
                         const std::string& host) {
  Focus(IDC_HOST);
  Type(IDC_HOST, host);
  Type(IDC_PORT, port);
  Type(IDC_LOGIN, login);
  Type(IDC_PASSWORD, password);
}

bool DialogHarness::Connect(unsigned port, const std::string& login, const std::string& password) {
  Fill(port, login, password);
  Click(IDC_CONNECT);
  return m_dlg->IsConnected();
}

void DialogHarness::ExpectWire(const siteserver::ScriptedServer& server, const std::string& expected,
                               std::size_t conn) {
  WaitUntil([&] { return server.Received(conn) == expected; }, 3000);
  EXPECT_EQ(server.Received(conn), expected);
}

void WithPaneMenu(const QAbstractScrollArea* pane, const std::function<void(QMenu*)>& use) {
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    use(menu);
    if (menu) menu->close();
  });
  QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(10, 10), pane->viewport()->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(pane->viewport(), &ev);
}

std::vector<std::string> Items(const platform::ListCombo* combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i) items.push_back(combo->Entry(i));
  return items;
}

int IndexOf(const platform::ListCombo* combo, const std::string& entry) {
  for (int i = 0; i < combo->count(); ++i)
    if (combo->Entry(i) == entry) return i;
  return -1;
}

void DialogHarness::Raw(const std::string& command) {
  Focus(IDC_RAW_COMMAND);
  Type(IDC_RAW_COMMAND, command);
  Click(IDC_EXECUTE_RAW);
}

void DialogHarness::SelectComboItem(int id, int index) {
  auto* c = ItemAs<QComboBox>(id);
  c->setFocus(Qt::MouseFocusReason);
  c->setCurrentIndex(index);
  emit c->activated(index);
  ProcessEvents();
}

bool DialogHarness::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  return QTest::qWaitFor(done, timeoutMs);
}

void DialogHarness::ProcessEvents(int ms) {
  QApplication::processEvents();
  if (ms > 0) QTest::qWait(ms);
  QApplication::processEvents();
}
