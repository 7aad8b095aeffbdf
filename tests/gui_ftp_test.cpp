// The control connection in the real dialog against the scripted server: what
// only the window shows (boxes, captions, what the edits keep) and that its
// clicks reach the wire. Transcripts and send rules are the connection's and
// the session's tests, colours the pane's. Offscreen; the close of a silent
// exchange also under X.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "DialogHarness.h"
#include "SiteScripts.h"
#include "res/resource.h"

#ifdef KORVASTEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

using namespace siteserver;
using std::chrono::seconds;

const int kWho = IDC_SITE_FIRST + 7;
std::string After(const std::string& text, std::size_t from) { return from <= text.size() ? text.substr(from) : ""; }

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
  DialogHarness h("");
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
  const int history = h.Dlg().m_historyList->count();
  for (const auto& c : cases) {
    h.boxes.clear();
    h.Fill(c.port, c.login, c.password, c.host);
    h.Click(IDC_CONNECT);
    ASSERT_EQ(h.boxes.size(), 1u) << "port " << c.port;
    EXPECT_EQ(h.boxes[0].text, header + c.items);
    EXPECT_EQ(h.boxes[0].caption + std::to_string(h.boxes[0].type), "Can't connect!16");
  }
  h.Click(kWho);  // not connected: it sends nothing and shows nothing
  EXPECT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.Pane(), pane);
  EXPECT_EQ(h.Dlg().m_historyList->count(), history);

  const unsigned closed = DeadPort();
  h.boxes.clear();
  h.Fill(closed, "refused");
  h.Click(IDC_CONNECT);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].text, "The attempt to connect was rejected. ");
  EXPECT_EQ(After(h.Pane(), pane.size()), "\n\n>connecting to 127.0.0.1\n");  // and nothing after it
  EXPECT_EQ(h.Dlg().m_historyList->Entry(h.Dlg().m_historyList->currentIndex()),
            "refused@127.0.0.1:" + std::to_string(closed));
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");
}

// The transcripts of the login shapes are the connection's test, their
// colours the pane's; here the window's part: caption, history and what the
// fields sent.
TEST(Connection, ARefusedLoginThenAFreshAttempt) {
  auto server = Serve({
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 Login incorrect\r\n")},
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Pause(400), Send("230 in\r\n")},
  });
  DialogHarness h("");
  const int history = h.Dlg().m_historyList->count();
  std::size_t mark = h.Pane().size();
  h.Fill(server->Port());
  h.Click(IDC_CONNECT);
  ASSERT_NE(After(h.Pane(), mark).find("530 Login incorrect\n"), std::string::npos);
  EXPECT_FALSE(h.Dlg().IsConnected());
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");

  // A fresh attempt; while it waits the button cancels it, and reads so.
  const std::string secret = "OpenSesame42";
  h.Fill(server->Port(), "u", secret);
  std::string captionWhileWaiting;
  QTimer::singleShot(150, h.Window(), [&] { captionWhileWaiting = h.Text(IDC_CONNECT); });
  h.Click(IDC_CONNECT);
  EXPECT_EQ(captionWhileWaiting, "Cancel");
  EXPECT_EQ(h.Text(IDC_CONNECT), "Disconnect");
  EXPECT_TRUE(h.Dlg().IsConnected());
  EXPECT_EQ(h.Dlg().m_historyList->count(), history + 1);  // two attempts, one entry

  mark = h.Pane().size();
  h.Click(IDC_CONNECT);
  EXPECT_EQ(After(h.Pane(), mark), "\n>Disconnected.\n");
  EXPECT_EQ(h.Text(IDC_CONNECT), "Connect");
  ASSERT_TRUE(server->WaitDone(1, seconds(5)));
  EXPECT_EQ(server->Received(1), "USER u\r\nPASS " + secret + "\r\n");
}

// Trimming and refusing lines are the session's rules, the site buttons the
// data exchange test's; here what the raw edit and the "auto add SITE" box
// put on the wire.
TEST(Commands, ButtonsAndTheRawEditReachTheWireAndLineBreaksNever) {
  auto server = Serve({LoginThen(Answers(2))});
  DialogHarness h("");
  ASSERT_TRUE(h.Connect(server->Port())) << h.Pane();
  h.Raw("SITE WHO");  // the box is ticked: a second SITE
  h.Click(IDC_AUTO_SITE);
  ASSERT_EQ(h.Dlg().m_form.autoSite, false);
  h.Raw("SITE caf\xE9 \t");  // a letter of the code page's upper half stays
  const std::string wire = kLoginWire + "SITE SITE WHO\r\nSITE caf\xE9\r\n";
  h.ExpectWire(*server, wire);
  const std::size_t mark = h.Pane().size();
  h.Raw(" \t");
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
  h.ExpectWire(*server, wire);
  EXPECT_TRUE(h.Dlg().IsConnected());
}

// A click while a reply is awaited is kept and runs once the reply is in,
// in the order clicked; the pane shows nothing of it before.
TEST(Commands, ClicksDuringAnExchangeRunAfterItInOrder) {
  auto server = Serve({LoginThen({ExpectLine(), Pause(300), Send("200 who\r\n"), ExpectLine(), Send("200 x\r\n"),
                                  ExpectLine(), Send("200 y\r\n"), Hold()})});
  DialogHarness h("");
  ASSERT_TRUE(h.Connect(server->Port())) << h.Pane();
  const std::size_t mark = h.Pane().size();
  std::string paneWhileWaiting;
  QTimer::singleShot(100, h.Window(), [&] {
    h.Type(IDC_RAW_COMMAND, "X");
    qobject_cast<QAbstractButton*>(h.Item(IDC_EXECUTE_RAW))->click();
    h.Type(IDC_RAW_COMMAND, "Y");
    qobject_cast<QAbstractButton*>(h.Item(IDC_EXECUTE_RAW))->click();
    paneWhileWaiting = h.Pane();
  });
  h.Click(kWho);
  ASSERT_TRUE(h.WaitUntil([&] { return h.Pane().ends_with("200 y\n"); }, 5000)) << h.Pane();
  EXPECT_EQ(After(paneWhileWaiting, mark), "\n>SITE WHO\n");
  EXPECT_EQ(After(h.Pane(), mark), "\n>SITE WHO\n200 who\n\n>SITE X\n200 x\n\n>SITE Y\n200 y\n");
  h.ExpectWire(*server, kLoginWire + "SITE WHO\r\nSITE X\r\nSITE Y\r\n");
}

// The period's rules are the session's test; here the fields reach it.
TEST(AntiIdle, TheCommandAndIntervalFieldsDriveTheTimer) {
  auto server = Serve({LoginThen(Answers(20))});
  DialogHarness h("");
  h.Type(IDC_ANTI_IDLE_COMMAND, "NOOP");
  h.Type(IDC_ANTI_IDLE_INTERVAL, "1");
  h.Click(IDC_ANTI_IDLE);
  ASSERT_TRUE(h.Connect(server->Port()));
  const std::string two = kLoginWire + "NOOP\r\nNOOP\r\n";
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
    DialogHarness h("");
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
  DialogHarness h("");
  h.Window()->activateWindow();
  ASSERT_TRUE(h.WaitUntil([&] { return h.Window()->isActiveWindow(); }));
  ASSERT_TRUE(h.Connect(server->Port()));
  std::string paneWhileWaiting, captionWhileWaiting;
  const std::size_t mark = h.Pane().size();
  QTimer::singleShot(200, h.Window(), [&] {
    // Clicks on the actions while the reply is awaited wait for it; the button ends the wait and drops them.
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
  EXPECT_EQ(server->Received(1), kLoginWire + "SITE WHO\r\n");
}

}  // namespace
