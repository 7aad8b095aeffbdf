// "Run on Sites": one command sent to several saved sites at once, each in
// its own tab, with a table of how each fared. The sessions do all the
// waiting; this dialog only follows them and fills the table.
#pragma once

#include <QDialog>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SiteList.h"
#include "SiteRun.h"
#include "SiteTabs.h"
#include "UserCommand.h"

class CSiteCmdDlg;
class IniStorage;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class QVBoxLayout;

class RunOnSitesDlg : public QDialog {
 public:
  // Asks for a file to save to and calls chosen with its path; not at all when cancelled.
  using FileChooser = std::function<void(std::function<void(const std::string& path)> chosen)>;

  RunOnSitesDlg(SiteTabs& tabs, QWidget* parent = nullptr);
  ~RunOnSitesDlg() override;

  // The host calls it before a tab goes: that tab's rows fail with "tab closed".
  void TabClosing(CSiteCmdDlg& tab);
  void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
  const SiteRun& Results() const { return m_run; }

  // The saved sites read again (the dialog is opened anew).
  void ReloadSites() { LoadSites(); }

  // The buttons' work. Run checks everything first, then finds each site's
  // password (its tab's, then what was typed in this run of the program,
  // then the keyring), asks once for those still lacking, and only then
  // connects; the Timeout counts from there.
  void Run();
  void Copy();
  void Save();

 protected:
  // Closing lets go of every tab the run still follows; the rows stay as they are.
  void done(int result) override;

 private:
  class Follower;
  class PasswordsDlg;

  void BuildControls();
  void LoadSites();
  void LoadCommands();
  void OnGroupChanged();
  void OnCommandChanged();
  // The lines Run sends, checked; empty when nothing is to run (a box said why, if anything was wrong).
  std::vector<std::string> LinesToRun();
  // Ends whatever the last run still does: reads, questions, deadline, followers.
  void StopRun();
  bool HasPassword(const Follower& follower) const;
  void GatherPasswords();
  void PasswordsRead();
  void AskPasswords(const std::vector<std::size_t>& rows);
  void StartRows();
  void OnDeadline();
  // The row's tab (opened when the site has none) followed, and the row started.
  void Attach(Follower& follower);
  void AttachNext();
  // Takes the row one step further, as far as its tab's state allows.
  void Advance(Follower& follower);
  void AdvanceLater(const std::shared_ptr<Follower>& follower);
  void Send(Follower& follower);
  void OnRowState(Follower& follower, SessionState state);
  void OnRowLogin(Follower& follower, ControlConnection::Login result, int connectError,
                  const std::string& failure);
  void OnRowRunDone(Follower& follower, ControlConnection::Result result);
  void Fail(Follower& follower, const std::string& why, const std::string& code = {});
  void Detach(Follower& follower);
  void DetachAll();
  void ShowRow(std::size_t row);
  void OnRowActivated(int row);
  void Box(const std::string& text, const std::string& caption);

  SiteTabs& m_tabs;
  SiteList m_sites;
  SiteRun m_run;
  std::vector<std::string> m_lines;  // what the current run sends
  std::vector<std::shared_ptr<Follower>> m_followers;  // one per row; the keyring's answers hold weak ones
  std::deque<std::weak_ptr<Follower>> m_toAttach;      // rows still to find their tabs, in order
  unsigned m_runNumber = 0;                            // answers (keyring, passwords) for an earlier run are dropped
  std::size_t m_keyringReads = 0;                      // keyring reads of this run not yet answered
  std::chrono::seconds m_limit{60};
  std::unique_ptr<PasswordsDlg> m_asking;  // the question of this run, while it is open
  std::unique_ptr<IniStorage> m_commandStorage;
  std::vector<UserCommand> m_groupCommands;  // the chosen group's, in the order of the "command" combo (after its empty entry)
  FileChooser m_chooseFile;

  // Owned by the dialog as their Qt parent.
  QVBoxLayout* m_siteColumn = nullptr;
  std::vector<std::unique_ptr<QCheckBox>> m_siteBoxes;  // one per saved site, in the list's order; named after it
  QLineEdit* m_timeout = nullptr;
  QTimer* m_deadline = nullptr;
  QLineEdit* m_command = nullptr;
  QCheckBox* m_autoSite = nullptr;
  QComboBox* m_group = nullptr;
  QComboBox* m_userCommand = nullptr;
  std::vector<QLabel*> m_argumentLabels;
  std::vector<QLineEdit*> m_arguments;
  QPushButton* m_runButton = nullptr;
  QTableWidget* m_table = nullptr;
};
