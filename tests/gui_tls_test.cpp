// Explicit FTPS in the real dialog, offscreen: the "TLS" box, its place in
// the history, the boxes about certificates and refusals, and the wire of a
// TLS session with a real server (pyftpdlib's TLS handler), read through a
// relay.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QGroupBox>
#include <QTimer>

#include "DialogHarness.h"
#include "Relay.h"
#include "SiteScripts.h"
#include "TestPeers.h"
#include "TrustedCertificates.h"
#include "UserStore.h"
#include "res/resource.h"

namespace {

using namespace siteserver;

const char kHint[] = "The server asks for an encrypted connection: tick TLS and connect again.\n";

bool Ticked(DialogHarness& h) { return h.ItemAs<QAbstractButton>(IDC_TLS)->isChecked(); }
std::string Caption(DialogHarness& h) { return h.Text(IDC_CONNECT); }

// The real box, as the user meets it: the first key on a fresh box picks the safe answer.
TEST(Tls, EnterOrSpaceOnAFreshTrustBoxNeverTrusts) {
  for (const int key : {Qt::Key_Return, Qt::Key_Space}) {
    // The key goes in once the box is up and has settled its focus, however slow the build.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll, key] {
      QWidget* box = QApplication::activeModalWidget();
      QWidget* focus = box ? box->focusWidget() : nullptr;
      if (!focus) return;
      poll.stop();
      const QString text = key == Qt::Key_Space ? " " : "\r";
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
      QApplication::sendEvent(focus, &press);
      QApplication::sendEvent(focus, &release);
    });
    poll.start(20);
    const int answer = platform::ShowMessageBox(
        nullptr, {"Trust this certificate?", "Unknown certificate", platform::kBoxYesNo | platform::kBoxWarning | platform::kBoxNoByDefault});
    EXPECT_EQ(answer, platform::kAnswerNo) << "key " << key;
  }
}

TEST(Tls, CheckBoxPlaceRefusedAuthAndTheHistoryRememberingIt) {
  DialogHarness h("");
  QWidget* box = h.Item(IDC_TLS);
  ASSERT_TRUE(box && box->isVisible());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name).toStdString(), "TLS");
  for (QWidget* other : h.Window()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (other == box || !other->isVisible()) continue;
    if (auto* group = qobject_cast<QGroupBox*>(other)) {
      if (group->title() == "Connection") {
        EXPECT_TRUE(group->geometry().contains(box->geometry()));
      }
      continue;
    }
    EXPECT_FALSE(other->geometry().intersects(box->geometry())) << other->objectName().toStdString();
  }

  auto server = Serve({{Send("220 hi\r\n"), ExpectLine(), Send("500 AUTH not understood\r\n"), Hold()},
                       {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n")}});
  h.Fill(server->Port());
  h.Click(IDC_TLS);
  h.Click(IDC_CONNECT);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].caption, "Can't connect securely!");
  EXPECT_NE(h.boxes[0].text.find("500 AUTH not understood"), std::string::npos) << h.boxes[0].text;
  EXPECT_EQ(Caption(h), "Connect");

  // Plain for another login; then each entry brings back its own choice.
  h.Type(IDC_LOGIN, "v");
  h.Click(IDC_TLS);  // the click takes the fields into the members too
  h.Click(IDC_CONNECT);
  ASSERT_TRUE(h.WaitUntil([&] { return Caption(h) == "Disconnect"; }));
  h.Click(IDC_CONNECT);
  const std::string tlsEntry = "u@127.0.0.1:" + std::to_string(server->Port());
  const std::string plainEntry = "v@127.0.0.1:" + std::to_string(server->Port());
  for (const auto& [entry, tls] : {std::pair{tlsEntry, true}, {plainEntry, false}, {tlsEntry, true}}) {
    const int index = IndexOf(h.Dlg().m_historyList, entry);
    ASSERT_GE(index, 0) << entry;
    h.SelectComboItem(IDC_HISTORY, index);
    EXPECT_EQ(Ticked(h), tls) << entry;
    EXPECT_EQ(h.Dlg().m_form.tls, tls);
  }
  // The history's own entries are the texts they always were.
  for (const std::string& name : platform::UserStore().Load())
    EXPECT_TRUE(name == tlsEntry || name == plainEntry) << name;
}

class TlsWithPyFtpd : public ::testing::Test {
 protected:
  void SetUp() override {
    m_python = peers::FindPython({"pyftpdlib", "OpenSSL"});
    if (m_python.empty())
      GTEST_SKIP() << "pyftpdlib with TLS is missing (apt-get install python3-pyftpdlib python3-openssl)";
    std::string error;
    if (!m_certs.Make(error)) GTEST_SKIP() << error;
    m_certs.TrustCa();
  }
  void TearDown() override { peers::Certificates::ForgetCa(); }

  std::string m_python;
  peers::Certificates m_certs;
};

// Which certificates the TLS layer trusts is its own test against this peer;
// here what the window asks, remembers and sends. Through a relay, so the
// test reads the wire.
TEST_F(TlsWithPyFtpd, UnknownAndChangedCertificatesAskTheUserAndNothingGoesInClear) {
  peers::PyFtpd server;
  const unsigned target = server.Start(m_python, 60, m_certs.selfSignedCert, m_certs.selfSignedKey);
  ASSERT_NE(target, 0u);
  Relay relay(target);
  const unsigned port = relay.Port();
  const std::string fingerprint = peers::OpensslFingerprint(m_certs.selfSignedCert);
  DialogHarness h("");

  // Plain first: the server wants TLS and the pane says so, in the disconnect colour.
  h.Fill(port, "tester", "t3st-only");
  h.Click(IDC_CONNECT);
  const std::size_t hint = h.Pane().find(kHint);
  ASSERT_NE(hint, std::string::npos) << h.Pane();
  EXPECT_EQ(h.Dlg().m_transcript.GetColorAt(static_cast<long>(hint)), palette::kDisconnect);
  h.Click(IDC_TLS);

  int reply = platform::kAnswerNo;
  h.answer = [&](const platform::MessageBoxCall& call) { return (call.type & platform::kBoxYesNo) == platform::kBoxYesNo ? reply : platform::kAnswerOk; };
  h.Click(IDC_CONNECT);  // "No"
  ASSERT_EQ(h.boxes.size(), 2u);
  const platform::MessageBoxCall ask = h.boxes[0];
  EXPECT_EQ(ask.caption, "Unknown certificate");
  EXPECT_EQ(ask.type & platform::kBoxNoByDefault, platform::kBoxNoByDefault) << "a first-use attacker's certificate is not trusted by Enter";
  for (const std::string& part : {"127.0.0.1:" + std::to_string(port), std::string("CN=korvastel-self-signed"),
                                  std::string("self-signed certificate"), fingerprint, std::string("Valid until: ")})
    EXPECT_NE(ask.text.find(part), std::string::npos) << part << " in\n" << ask.text;
  EXPECT_EQ(h.boxes[1].caption, "Can't connect securely!");
  EXPECT_EQ(Caption(h), "Connect");  // sending nothing after a "No" is the connection's test
  EXPECT_EQ(platform::TrustedFingerprint("127.0.0.1", port), "");

  reply = platform::kAnswerYes;
  h.Click(IDC_CONNECT);
  ASSERT_EQ(Caption(h), "Disconnect");
  EXPECT_EQ(h.boxes.size(), 3u);
  EXPECT_EQ(platform::TrustedFingerprint("127.0.0.1", port), fingerprint);
  h.Dlg().SendCommand("NOOP");
  h.Settle();
  EXPECT_NE(h.Pane().find(">NOOP\n200 "), std::string::npos);
  const std::string wire = relay.Sent();  // the reply to NOOP came: the relay has passed on all
  h.Click(IDC_CONNECT);                   // disconnect: nothing goes out, not even a TLS close_notify
  h.ProcessEvents(200);
  EXPECT_EQ(relay.Sent(), wire);
  const std::size_t auth = wire.find("AUTH TLS\r\n");
  ASSERT_NE(auth, std::string::npos);
  EXPECT_EQ(wire.substr(0, auth), "USER tester\r\n") << "the plain attempt: refused at once, no password";
  for (const char* secret : {"t3st-only", "tester", "NOOP"})
    EXPECT_EQ(wire.find(secret, auth), std::string::npos) << secret << " travels encrypted only";

  h.Click(IDC_CONNECT);
  EXPECT_EQ(Caption(h), "Disconnect");
  EXPECT_EQ(h.boxes.size(), 3u) << "remembered: no second question";
  h.Click(IDC_CONNECT);

  // The server now shows another certificate than the one remembered.
  const std::string old = "00:11:22:33";
  ASSERT_TRUE(platform::TrustFingerprint("127.0.0.1", port, old));
  reply = platform::kAnswerNo;
  h.Click(IDC_CONNECT);
  ASSERT_EQ(h.boxes.size(), 5u);
  EXPECT_EQ(h.boxes[3].caption, "Certificate changed!");
  EXPECT_EQ(h.boxes[3].type & platform::kBoxNoByDefault, platform::kBoxNoByDefault) << "the safe answer is the default";
  EXPECT_LT(h.boxes[3].text.find(old), h.boxes[3].text.find(fingerprint)) << h.boxes[3].text;
  EXPECT_EQ(Caption(h), "Connect");
  EXPECT_EQ(platform::TrustedFingerprint("127.0.0.1", port), old);
}

}  // namespace
