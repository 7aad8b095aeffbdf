// The control connection in the real dialog against the scripted server: what
// only the window shows (boxes, captions, colours, what the edits keep) and
// that its clicks reach the wire. Transcripts and send rules are the
// connection's and the session's tests. Offscreen; the close of a silent
// exchange also under X.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DialogHarness.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "res/resource.h"

#ifdef KORVASTEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

using namespace siteserver;
using std::chrono::seconds;

const std::string kNoCommands;
const int kWho = IDC_SITE_FIRST + 7;
const char kLoginWire[] = "USER u\r\nPASS p\r\n";

std::unique_ptr<ScriptedServer> Serve(std::vector<Script> scripts) {
  auto server = std::make_unique<ScriptedServer>(std::move(scripts));
  EXPECT_TRUE(server->Start()) << server->Error();
  return server;
}

void Connect(DialogHarness& h, unsigned port) {
  h.Fill(port);
  h.Click(IDC_CONNECT);
  ASSERT_TRUE(h.Dlg().IsConnected()) << h.Pane();
}

void Raw(DialogHarness& h, const std::string& text) {
  h.Focus(IDC_RAW_COMMAND);
  h.Type(IDC_RAW_COMMAND, text);
  h.Click(IDC_EXECUTE_RAW);
}

// The server records on its own thread.
void ExpectWire(DialogHarness& h, const ScriptedServer& server, std::size_t conn, const std::string& expected) {
  h.WaitUntil([&] { return server.Received(conn) == expected; }, 3000);
  EXPECT_EQ(server.Received(conn), expected);
}

std::string After(const std::string& text, std::size_t from) { return from <= text.size() ? text.substr(from) : ""; }

// Every visible character of [from, end of pane) has `colour`.
void ExpectColour(DialogHarness& h, std::size_t from, COLORREF colour) {
  const std::string text = h.Pane();
  for (std::size_t i = from; i < text.size(); ++i)
    if (text[i] != '\n') {
      ASSERT_EQ(h.Dlg().m_transcript.GetColorAt(static_cast<long>(i)), colour) << "at " << i;
    }
}

// Closes the window as the user does. Under X that is the window manager's
// WM_DELETE_WINDOW message, which comes through the window system's queue;
// elsewhere the widget's own close().
void RequestClose(QWidget* window) {
#ifdef KORVASTEL_HAVE_XCB
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    auto atom = [c](const char* name) {
      auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
      const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
      std::free(reply);
      return a;
    };
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window->winId());
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    // A round trip, so the server has taken the message before we hang up.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    return;
  }
#endif
  window->close();
}

TEST(Connection, FieldChecksAndARefusedConnectAreBoxes) {
  DialogHarness h(&kNoCommands);
  h.Start();
  const std::string header =
      "Can't connect to host because of\ninsufficient or wrong information.\n\nPlease enter the following:\n\n";
  const std::string host = "- the adress or IP of the server\n  you want to connect to\n";
  const std::string password = "- your password (which will not be stored)\n";
  const std::string port = "- the correct port number ( 0 < n < 65535 )\n";
  const struct {
    std::string host, port, login, password, items;
  } cases[] = {
      {"", "0", "", "", host + "- your login name\n" + password + port},
      {"", "65535", "a", "", host + password},
      {"127.0.0.1", "65536", "a", "b", port},
      {" ", "0", " ", " ", port},  // blanks are text
  };
  const std::string pane = h.Pane();
  const int history = h.Dlg().m_historyList.GetCount();
  for (const auto& c : cases) {
    h.boxes.clear();
    h.Fill(c.port, c.login, c.password, c.host);
    h.Click(IDC_CONNECT);
    ASSERT_EQ(h.boxes.size(), 1u) << "port " << c.port;
    EXPECT_EQ(h.boxes[0].text, header + c.items);
    EXPECT_EQ(h.boxes[0].caption + std::to_string(h.boxes[0].type), "Can't connect!16");
  }
  EXPECT_EQ(h.Pane(), pane);
  EXPECT_EQ(h.Dlg().m_historyList.GetCount(), history);

  unsigned closed = 0;
  {
    ScriptedServer gone({});
    ASSERT_TRUE(gone.Start());
    closed = gone.Port();
  }  // nobody listens there any more
  h.boxes.clear();
  h.Fill(closed, "refused");
  h.Click(IDC_CONNECT);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].text, "The attempt to connect was rejected. ");
  EXPECT_EQ(After(h.Pane(), pane.size()), "\n\n>connecting to 127.0.0.1\n");  // and nothing after it
  EXPECT_EQ(h.Dlg().m_historyList.GetLBText(h.Dlg().m_historyList.GetCurSel()),
            "refused@127.0.0.1:" + std::to_string(closed));
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");
}

// The transcripts of the login shapes are the connection's test; here the
// window's part: colours, caption, history and what the fields sent.
TEST(Connection, ARefusedLoginThenAFreshAttempt) {
  auto server = Serve({
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 Login incorrect\r\n")},
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Pause(400), Send("230 in\r\n")},
  });
  DialogHarness h(&kNoCommands);
  h.Start();
  const int history = h.Dlg().m_historyList.GetCount();
  std::size_t mark = h.Pane().size();
  h.Fill(server->Port());
  h.Click(IDC_CONNECT);
  ASSERT_NE(After(h.Pane(), mark).find("530 Login incorrect\n"), std::string::npos);
  ExpectColour(h, mark, logLoginColor);
  EXPECT_FALSE(h.Dlg().IsConnected());
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");

  // A fresh attempt; while it waits the button cancels it, and reads so.
  const std::string secret = "OpenSesame42";
  h.Fill(server->Port(), "u", secret);
  std::string captionWhileWaiting;
  QTimer::singleShot(150, h.Window(), [&] { captionWhileWaiting = h.Text(IDC_CONNECT); });
  mark = h.Pane().size();
  h.Click(IDC_CONNECT);
  EXPECT_EQ(captionWhileWaiting, "Cancel");
  EXPECT_EQ(h.Text(IDC_CONNECT), "Disconnect");
  EXPECT_TRUE(h.Dlg().IsConnected());
  ExpectColour(h, mark, logLoginColor);
  EXPECT_EQ(h.Pane().find(secret), std::string::npos);
  EXPECT_EQ(h.Dlg().m_historyList.GetCount(), history + 1);  // two attempts, one entry

  mark = h.Pane().size();
  h.Click(IDC_CONNECT);
  EXPECT_EQ(After(h.Pane(), mark), "\n>Disconnected.\n");
  ExpectColour(h, mark, logDisconnectColor);
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");
  ASSERT_TRUE(server->WaitDone(1, seconds(5)));
  EXPECT_EQ(server->Received(1), "USER u\r\nPASS " + secret + "\r\n");
}

// Trimming and refusing lines are the session's rules; here what the button,
// the raw edit and the "auto add SITE" box put on the wire.
TEST(Commands, ButtonsAndTheRawEditReachTheWireAndLineBreaksNever) {
  auto server = Serve({LoginThen(Answers(3))});
  DialogHarness h(&kNoCommands);
  h.Start();
  Connect(h, server->Port());
  std::size_t mark = h.Pane().size();
  h.Click(kWho);
  EXPECT_EQ(After(h.Pane(), mark), "\n>SITE WHO\n200 ok\n");
  ExpectColour(h, mark, logCommandColor);
  Raw(h, "SITE WHO");  // the box is ticked: a second SITE
  h.Click(IDC_AUTO_SITE);
  ASSERT_EQ(h.Dlg().m_autoSite, FALSE);
  Raw(h, "SITE caf\xE9 \t");  // a letter of the code page's upper half stays
  ExpectWire(h, *server, 0, std::string(kLoginWire) + "SITE WHO\r\nSITE SITE WHO\r\nSITE caf\xE9\r\n");
  mark = h.Pane().size();
  Raw(h, " \t");
  EXPECT_EQ(h.Pane().size(), mark);

  // A line break never reaches the wire: the edit keeps the pasted text's first line,
  // and a command that still holds one is refused with a box.
  auto* raw = h.ItemAs<QLineEdit>(IDC_RAW_COMMAND);
  raw->clear();
  raw->insert(QStringLiteral("WHO\nDELE important.txt"));
  EXPECT_EQ(h.Text(IDC_RAW_COMMAND), "WHO");
  raw->setCursorPosition(1);
  raw->insert(QStringLiteral("x\r\ny"));  // in the middle: the text behind the cursor stays
  EXPECT_EQ(h.Text(IDC_RAW_COMMAND), "WxHO");
  auto* password = h.ItemAs<QLineEdit>(IDC_PASSWORD);
  password->clear();
  password->insert(QStringLiteral("secret\nSITE KICK bob"));
  EXPECT_EQ(h.Text(IDC_PASSWORD), "secret");
  h.boxes.clear();
  h.Dlg().SendCommand("SITE A\r\nDELE important.txt");
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].caption + std::to_string(h.boxes[0].type), "Can't send!16");
  EXPECT_NE(h.boxes[0].text.find("line break"), std::string::npos);
  EXPECT_EQ(h.Pane().size(), mark);
  ExpectWire(h, *server, 0, std::string(kLoginWire) + "SITE WHO\r\nSITE SITE WHO\r\nSITE caf\xE9\r\n");
  EXPECT_TRUE(h.Dlg().IsConnected());
}

// Which lines end a connection is the connection's test; here the window
// sees it without a click, in the right colours, and sends nothing after.
TEST(Commands, AServerClosingAnIdleConnectionIsSeenAtOnce) {
  auto server = Serve({LoginThen({Send("421 Timeout: closing idle connection\r\n"), Close()})});
  DialogHarness h(&kNoCommands);
  h.Start();
  h.Fill(server->Port());
  h.Click(IDC_CONNECT);
  ASSERT_TRUE(h.WaitUntil([&] { return !h.Dlg().IsConnected(); }));
  const std::string idle = "421 Timeout: closing idle connection\n\n>Disconnected.\n";
  ASSERT_EQ(After(h.Pane(), h.Pane().size() - idle.size()), idle);
  EXPECT_EQ(h.Dlg().m_transcript.GetColorAt(static_cast<long>(h.Pane().size() - idle.size())), logCommandColor);
  ExpectColour(h, h.Pane().size() - 16, logDisconnectColor);
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");

  // Without a connection a click sends nothing and shows nothing.
  const std::size_t mark = h.Pane().size();
  h.Click(kWho);
  EXPECT_EQ(h.Pane().size(), mark);
}

// The period's rules are the session's test; here the fields reach it.
TEST(AntiIdle, TheCommandAndIntervalFieldsDriveTheTimer) {
  auto server = Serve({LoginThen(Answers(20))});
  DialogHarness h(&kNoCommands);
  h.Start();
  h.Type(IDC_ANTI_IDLE_COMMAND, "NOOP");
  h.Type(IDC_ANTI_IDLE_INTERVAL, "1");
  h.Click(IDC_ANTI_IDLE);
  Connect(h, server->Port());
  const std::string two = std::string(kLoginWire) + "NOOP\r\nNOOP\r\n";
  ASSERT_TRUE(h.WaitUntil([&] { return server->Received(0).size() >= two.size(); }, 6000));
  EXPECT_EQ(server->Received(0).substr(0, two.size()), two);
  EXPECT_NE(h.Pane().find("\n>NOOP\n200 ok\n"), std::string::npos);
  EXPECT_TRUE(h.Dlg().IsConnected());
}

TEST(Connection, ClosingTheWindowOrTheButtonEndsAWaitForASilentServer) {
  auto server = Serve({{Hold()}, LoginThen({ExpectLine(), Hold()})});
  // A client that ignored the close would wait for ever; stopping the server
  // then ends the wait, and the checks below fail instead.
  QObject guard;
  QTimer::singleShot(10000, &guard, [&] { server->Stop(); });
  {  // silent from the start: the close comes while the greeting is awaited
    DialogHarness h(&kNoCommands);
    h.Start();
    h.Window()->activateWindow();  // an X server without a window manager activates nothing itself
    ASSERT_TRUE(h.WaitUntil([&] { return h.Window()->isActiveWindow(); }));
    h.Fill(server->Port());
    QTimer::singleShot(200, h.Window(), [&] { RequestClose(h.Window()); });
    h.Click(IDC_CONNECT);
    EXPECT_TRUE(h.Dlg().IsEnded());
    EXPECT_EQ(h.Dlg().m_iniStorage.get(), nullptr);
    ASSERT_TRUE(server->WaitDone(0, seconds(5)));
    EXPECT_TRUE(server->ClientClosed(0));
  }
  DialogHarness h(&kNoCommands);
  h.Start();
  h.Window()->activateWindow();
  ASSERT_TRUE(h.WaitUntil([&] { return h.Window()->isActiveWindow(); }));
  Connect(h, server->Port());
  std::string paneWhileWaiting, captionWhileWaiting;
  const std::size_t mark = h.Pane().size();
  QTimer::singleShot(200, h.Window(), [&] {
    // Clicks on the actions while the reply is awaited start nothing; the button ends the wait.
    for (int id : {kWho, IDC_EXECUTE_RAW}) qobject_cast<QAbstractButton*>(h.Item(id))->click();
    paneWhileWaiting = h.Pane();
    captionWhileWaiting = h.Text(IDC_CONNECT);
    qobject_cast<QAbstractButton*>(h.Item(IDC_CONNECT))->click();
  });
  h.Click(kWho);
  EXPECT_EQ(After(paneWhileWaiting, mark), "\n>SITE WHO\n");
  EXPECT_EQ(captionWhileWaiting, "Disconnect");
  EXPECT_EQ(After(h.Pane(), mark), "\n>SITE WHO\n\n>Disconnected.\n");
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");
  ASSERT_TRUE(server->WaitDone(1, seconds(5)));
  EXPECT_TRUE(server->ClientClosed(1));
  EXPECT_EQ(server->Received(1), std::string(kLoginWire) + "SITE WHO\r\n");
}

}  // namespace
