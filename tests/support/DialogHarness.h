// Drives the real main dialog offscreen: its widgets by control id, its
// message boxes recorded and answered, its timers run by the event loop.
#pragma once

#include <QAbstractScrollArea>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "MessageBox.h"
#include "ScriptedServer.h"
#include "SiteCmdDlg.h"
#include "TempFiles.h"

// The control under root whose accessible name is name, as a screen reader finds it.
template <class T = QWidget>
T* Named(const QWidget* root, const char* name) {
  for (T* w : root->findChildren<T*>())
    if (w->accessibleName() == QLatin1String(name)) return w;
  ADD_FAILURE() << "no control named " << name;
  return nullptr;
}

// Opens the pane's context menu as a right click does, hands it to `use`
// (nullptr when none opened) and closes it after.
void WithPaneMenu(const QAbstractScrollArea* pane, const std::function<void(QMenu*)>& use);

// A combo box's entries, and the index of one of them (-1 when not listed).
std::vector<std::string> Items(const platform::ListCombo* combo);
int IndexOf(const platform::ListCombo* combo, const std::string& entry);

// What a scripted server receives when the harness logs in with its defaults.
inline const std::string kLoginWire = "USER u\r\nPASS p\r\n";

class DialogHarness {
  // First, so the folder is there before the dialog and outlives it.
  TempDir m_temp{"korvastel-dlg-"};
  ScopedCwd m_cwd{m_temp.Path()};

 public:
  // Runs in a fresh working folder; `commandList` (when given) is written there first.
  explicit DialogHarness(const std::string* commandList = nullptr);
  // Started (as Start()) with this command list ("": an empty one).
  explicit DialogHarness(const std::string& commandList) : DialogHarness(&commandList) { Start(); }
  ~DialogHarness();

  // OnInitDialog and the window shown; with `waitForStartup`, the first tick of timer 1 too.
  void Start(bool waitForStartup = true);

  CSiteCmdDlg& Dlg() { return *m_dlg; }
  QWidget* Window() const;
  QWidget* Item(int id) const;
  template <class T>
  T* ItemAs(int id) const {
    return qobject_cast<T*>(Item(id));
  }

  // A mouse click, as the user gives it; then waits until what it started on the line has ended.
  void Click(int id);
  // Runs the event loop until the session has finished connecting or exchanging.
  void Settle();
  void Type(int id, const std::string& text);  // replaces the field's text (Windows-1252)
  std::string Text(int id) const;              // a field's or label's text (Windows-1252)
  void Focus(int id);
  // Types the connection fields, the host first with the focus in it: the
  // click that follows leaves the field and takes all four into the members.
  void Fill(const std::string& port, const std::string& login = "u", const std::string& password = "p",
            const std::string& host = "127.0.0.1");
  void Fill(unsigned port, const std::string& login = "u", const std::string& password = "p") {
    Fill(std::to_string(port), login, password);
  }
  // Fill, then a click on Connect; true when logged in.
  bool Connect(unsigned port, const std::string& login = "u", const std::string& password = "p");
  // Checks what connection `conn` of the server received, once it is `expected` or three seconds
  // have passed: the server records on its own thread.
  void ExpectWire(const siteserver::ScriptedServer& server, const std::string& expected, std::size_t conn = 0);
  void SelectComboItem(int id, int index);  // as the user picks it
  void Raw(const std::string& command);       // typed into the raw command field and executed
  std::string Pane() const { return m_dlg->m_transcript.GetText(); }

  // Processes events until `done` holds or the time is up; returns `done()`.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
  void ProcessEvents(int ms = 0);

  std::vector<platform::MessageBoxCall> boxes;
  // Answers each box; without it every box is answered platform::kAnswerOk.
  std::function<int(const platform::MessageBoxCall&)> answer;
  std::filesystem::path folder = m_temp.Path();

 private:
  std::unique_ptr<CSiteCmdDlg> m_dlg;
};
