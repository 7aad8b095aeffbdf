// The main window as the user first meets it: the start-up timer,
// the command-list error box, data exchange, tab order, keys and closing,
// its sizes and fonts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>

#include "CommandLine.h"
#include "DialogHarness.h"
#include "IniStorage.h"
#include "SiteCmdApp.h"
#include "WindowHarness.h"
#include "res/resource.h"

namespace {

const std::string kTwoGroups =
    "[a]\ngroup = Users\ncmdDsc = one\ncmd = ONE\n\n[b]\ngroup = Groups\ncmdDsc = two\ncmd = TWO %1\n";

// Every visible control of the dialog lies inside it, apart from the
// others of its row, and is at least as large as its contents need (no caption cut).
void ExpectEverythingShown(QWidget* dialog, const char* when) {
  for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!w->isVisibleTo(dialog)) continue;
    const std::string name = w->objectName().toStdString() + " " + when;
    EXPECT_TRUE(dialog->rect().contains(w->geometry())) << name;
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
    EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
    if (auto* l = qobject_cast<QLabel*>(w)) {
      EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(l->text())) << name;
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      EXPECT_GE(b->width(), b->sizeHint().width()) << name;
    }
  }
}

// The smallest window is the size the dialog always had and shows all of it;
// what the window has beyond that goes to the pane. A font twice the size
// makes the smallest window larger, and still nothing is cut.
TEST(MainWindow, SmallestSizeShowsEverythingAndThePaneTakesTheRest) {
  DialogHarness h("");
  QWidget* dialog = h.Window();
  const QSize smallest = dialog->minimumSize();
  EXPECT_GE(smallest.width(), 771);
  EXPECT_GE(smallest.height(), 554);
  dialog->resize(200, 100);
  h.ProcessEvents();
  EXPECT_EQ(dialog->size(), smallest);
  ExpectEverythingShown(dialog, "at the smallest size");

  QWidget* pane = h.Item(IDC_OUTPUT);
  QWidget* host = h.Item(IDC_HOST);
  const QSize paneBefore = pane->size(), hostBefore = host->size();
  dialog->resize(smallest + QSize(600, 400));
  h.ProcessEvents();
  EXPECT_EQ(pane->height(), paneBefore.height() + 400);
  EXPECT_GE(pane->width(), paneBefore.width() + 580);
  EXPECT_EQ(host->height(), hostBefore.height());
  ExpectEverythingShown(dialog, "larger");

  const int connectHeight = h.Item(IDC_CONNECT)->height();
  QFont font = dialog->font();
  font.setPointSizeF(font.pointSizeF() * 2);
  dialog->setFont(font);
  h.ProcessEvents();
  EXPECT_GT(dialog->minimumWidth(), smallest.width());
  EXPECT_GT(dialog->minimumHeight(), smallest.height());
  dialog->resize(dialog->minimumSize());
  h.ProcessEvents();
  ExpectEverythingShown(dialog, "with a font twice the size");
  EXPECT_GT(h.Item(IDC_CONNECT)->height(), connectHeight);
}

// The tabbed window is no larger than the dialog needs at first and grows with the user.
TEST(MainWindow, TheWindowAroundTheTabsResizes) {
  WindowHarness h("");
  CSiteCmdDlg& tab = h.window->NewTab();
  const QSize start = h.window->size();
  EXPECT_EQ(tab.size(), tab.minimumSize());
  h.window->resize(start + QSize(300, 200));
  WindowHarness::WaitUntil([&] { return tab.height() == tab.minimumHeight() + 200; }, 2000);
  EXPECT_EQ(tab.height(), tab.minimumHeight() + 200);
  EXPECT_EQ(tab.width(), tab.minimumWidth() + 300);
}

// The startup timer fills the groups once; the password field hides what is typed.
TEST(MainWindow, StartupTimerRunsOnce) {
  DialogHarness h(&kTwoGroups);
  h.Start(false);
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_HOST));
  EXPECT_EQ(h.ItemAs<QLineEdit>(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(h.boxes.empty());
  ASSERT_TRUE(h.WaitUntil([&] { return h.Window()->windowTitle() != "Korvastel"; }));
  // A second tick would list every group twice.
  h.ProcessEvents(250);
  EXPECT_EQ(h.Dlg().m_groupList->count(), 2);
}

TEST(MainWindow, MissingCommandListIsReportedAndTheWindowRunsOn) {
  DialogHarness h;
  h.Start();
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].text,
            "Can't read file commandList.ini!\nProgram will not be able to display any user commands!\n\n"
            "Error Message:\n[Runtime Error] Could not open file: commandList.ini");
  EXPECT_EQ(h.boxes[0].caption, "Error reading command list file.");
  EXPECT_EQ(h.boxes[0].type, platform::kBoxError);
  EXPECT_NE(h.Dlg().m_iniStorage.get(), nullptr);
  EXPECT_EQ(h.Dlg().m_groupList->count() + h.Dlg().m_commandList->count(), 0);
}

TEST(MainWindow, EmptyPortStopsTheExchangeThereWithOneBox) {
  DialogHarness h("");
  h.boxes.clear();
  h.Type(IDC_LOGIN, "admin");
  h.Type(IDC_ANTI_IDLE_COMMAND, "NOOP");
  h.Type(IDC_RAW_COMMAND, "WHO");
  h.Type(IDC_PORT, "");
  h.ItemAs<QCheckBox>(IDC_ANTI_IDLE)->setChecked(true);
  h.Focus(IDC_HOST);
  h.Type(IDC_HOST, "ftp.example");
  h.Focus(IDC_LOGIN);  // leaving the host field exchanges all fields
  h.ProcessEvents(20);

  ASSERT_EQ(h.boxes.size(), 1u) << "one box per failed exchange, however the focus moves";
  EXPECT_NE(h.boxes[0].text.find("Port"), std::string::npos);
  EXPECT_EQ(h.boxes[0].caption + std::to_string(h.boxes[0].type), "48") << "no caption, an exclamation icon";
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_PORT));
  // Fields exchanged before the port take their values; the port and all after it keep theirs.
  EXPECT_EQ(h.Dlg().m_form.antiIdle, true);
  EXPECT_EQ(h.Dlg().m_form.antiIdleCommand, "NOOP");
  EXPECT_EQ(h.Dlg().m_form.login, "admin");
  EXPECT_EQ(h.Dlg().m_form.port, 21u);
  EXPECT_EQ(h.Dlg().m_form.rawCommand, "");
  EXPECT_EQ(h.Dlg().m_form.host, "");

  // With the interval failing too (past 32 bits), the interval field is reported first.
  h.boxes.clear();
  h.Type(IDC_ANTI_IDLE_INTERVAL, "99999999999");
  h.Type(IDC_PORT, "2121");
  h.Type(IDC_PORT, "");
  h.Focus(IDC_RAW_COMMAND);
  h.ProcessEvents(20);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_NE(h.boxes[0].text.find("send every n seconds"), std::string::npos);
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_ANTI_IDLE_INTERVAL));
  EXPECT_EQ(h.Dlg().m_form.antiIdleInterval, 360u);

  // A number comes back into the member, selected text or not.
  h.Type(IDC_ANTI_IDLE_INTERVAL, "30");
  h.Type(IDC_PORT, "2121");
  h.Focus(IDC_HOST);
  EXPECT_EQ(h.Dlg().m_form.antiIdleInterval, 30u);
  EXPECT_EQ(h.Dlg().m_form.port, 2121u);
  EXPECT_EQ(h.Dlg().m_form.rawCommand, "WHO");
}

// Tab goes from the port to the TLS box, then to the login; it skips the
// disabled argument fields.
TEST(MainWindow, TabOrder) {
  DialogHarness h("");
  h.Focus(IDC_PORT);
  QTest::keyClick(h.Item(IDC_PORT), Qt::Key_Tab);
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_TLS));
  QTest::keyClick(h.Item(IDC_TLS), Qt::Key_Tab);
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_LOGIN));
  h.Focus(IDC_COMMAND);
  QTest::keyClick(h.Item(IDC_COMMAND), Qt::Key_Tab);
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_EXECUTE_USER));
}

// Enter in every edit and the pane, from the first key on, is the X11 key
// check's (keys_xvfb_check.py); here which way of ending runs the close handler.
TEST(MainWindow, EnterInAnEditKeepsTheDialogEscapeAndCloseEndIt) {
  {
    DialogHarness h("");
    QTest::keyClick(h.Item(IDC_HOST), Qt::Key_Escape);
    EXPECT_TRUE(h.Dlg().IsEnded());
    EXPECT_NE(h.Dlg().m_iniStorage.get(), nullptr) << "Escape ends the dialog without the close handler";
  }
  DialogHarness h("");
  h.Window()->close();
  h.ProcessEvents();
  EXPECT_TRUE(h.Dlg().IsEnded());
  EXPECT_EQ(h.Dlg().m_iniStorage.get(), nullptr);
}

// Keys on the dialog itself (no control holds the focus) show the debug box:
// key down, then the character. The key-down box names the Windows
// virtual-key code, whatever number the window system gives the key (on X11
// Enter is the keysym 65293).
TEST(MainWindow, KeysOnTheDialogShowTheDebugBoxWithTheVirtualKeyCode) {
  DialogHarness h("");
  const std::string pressed =
      "gedr\xFC"
      "ckt wurde Taste Nummer: ";
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::string keyDown;    // the first box
    std::string character;  // the second box, "" for a key without a character
  } rows[] = {
      {Qt::Key_A, Qt::NoModifier, "65", "97"},         {Qt::Key_Return, Qt::NoModifier, "13", "13"},
      {Qt::Key_Enter, Qt::KeypadModifier, "13", "13"}, {Qt::Key_7, Qt::KeypadModifier, "103", "55"},
      {Qt::Key_Exclam, Qt::ShiftModifier, "49", "33"},  // Shift+1
      {Qt::Key_Minus, Qt::NoModifier, "189", "45"},    {Qt::Key_Left, Qt::NoModifier, "37", ""},
      {Qt::Key_F12, Qt::NoModifier, "123", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.keyDown);
    h.boxes.clear();
    h.Window()->setFocus();
    // A key with a character brings it along, as the keyboard does.
    const QString text = r.character.empty() ? QString() : QString(QChar(std::stoi(r.character)));
    QKeyEvent press(QEvent::KeyPress, r.key, r.modifiers, text), release(QEvent::KeyRelease, r.key, r.modifiers, text);
    QApplication::sendEvent(h.Window(), &press);
    QApplication::sendEvent(h.Window(), &release);
    ASSERT_EQ(h.boxes.size(), r.character.empty() ? 1u : 2u) << "the release shows nothing";
    EXPECT_EQ(h.boxes[0].caption, "Debug");
    EXPECT_EQ(h.boxes[0].type, platform::kBoxOk);
    EXPECT_EQ(h.boxes[0].text.rfind(pressed + r.keyDown + " \nRepCount: 1 \n Flags: ", 0), 0u) << h.boxes[0].text;
    if (!r.character.empty()) {
      EXPECT_EQ(h.boxes[1].text.rfind(pressed + r.character + " \n", 0), 0u);
    }
  }
  EXPECT_FALSE(h.Dlg().IsEnded()) << "Enter on the dialog itself is only reported";
}

TEST(MainWindow, StartUpAddressFillsAllButThePassword) {
  const std::string empty;
  DialogHarness h(&empty);
  std::string message;
  StartTarget target{"admin", "127.0.0.1", 2121, true};
  ASSERT_TRUE(FillConnectionFields(target, h.Dlg(), message)) << message;
  h.Start();
  EXPECT_TRUE(h.ItemAs<QCheckBox>(IDC_TLS)->isChecked()) << "ftpes:// ticks TLS";
  EXPECT_EQ(h.Text(IDC_HOST), "127.0.0.1");
  EXPECT_EQ(h.Text(IDC_PORT), "2121");
  EXPECT_EQ(h.Text(IDC_LOGIN), "admin");
  EXPECT_EQ(h.Text(IDC_PASSWORD), "");
  EXPECT_EQ(h.Window()->focusWidget(), h.Item(IDC_PASSWORD)) << "only the password is left to type";

  DialogHarness other(&empty);
  target.login = "\xE2\x82\xAC-\xCE\xA9";  // UTF-8 euro sign fits the code page, omega does not
  EXPECT_FALSE(FillConnectionFields(target, other.Dlg(), message));
  EXPECT_FALSE(message.empty());
  other.Start();
  EXPECT_EQ(other.Text(IDC_LOGIN) + other.Text(IDC_HOST), "");
  EXPECT_EQ(other.Window()->focusWidget(), other.Item(IDC_HOST));
}

// Which file wins where, and why, is CommandListLocation's test; here the window reads the one chosen and says why.
TEST(MainWindow, APlantedCommandListIsPassedOverAndThePaneSaysWhy) {
  namespace fs = std::filesystem;
  const fs::path perUser = fs::path(std::getenv("XDG_CONFIG_HOME")) / "korvastel" / "commandList.ini";
  WriteFile(perUser, kTwoGroups);
  const std::string planted = "[x]\ngroup = Users\ncmdDsc = one\ncmd = CHPASS admin x\n";
  {
    DialogHarness h(&planted);
    const fs::path file = h.folder / "commandList.ini";
    fs::permissions(file, fs::perms::others_write, fs::perm_options::add);
    h.Start();
    EXPECT_EQ(h.Dlg().m_groupList->count(), 2) << "the per-user list, not the planted one";
    EXPECT_NE(h.Pane().find("\n>Not read: " + file.string() + " is writable by others (its group or all users); read " +
                            perUser.string() + " instead.\n"),
              std::string::npos)
        << h.Pane();
  }
  fs::remove_all(perUser.parent_path());
}

TEST(MainWindow, NumbersThatDoNotFitAreParseErrorsNotWraps) {
  const struct {
    const char* text;
    bool ok;
    unsigned value;
  } rows[] = {{"4294967295", true, 4294967295u}, {"0000000021", true, 21}, {" +7x", true, 7},
              {"4294967296", false, 0},          {"00000000021", false, 0}, {"-1", false, 0},
              {"", false, 0}};
  for (const auto& r : rows) {
    unsigned value = 12345;
    EXPECT_EQ(platform::ParseUnsigned(r.text, value), r.ok) << r.text;
    EXPECT_EQ(value, r.ok ? r.value : 12345u) << r.text;
  }
  // A field that does not parse stops the exchange there: EmptyPortStopsTheExchangeThereWithOneBox.
}

}  // namespace
