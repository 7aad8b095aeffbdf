// "Run on Sites": one command sent to several saved sites at once, with a
// table of how each fared. It runs on the program's sessions (a site's
// session that exists already serves) and opens no tab; a double-click
// shows a row's session in a tab. The sessions do all the waiting; this
// dialog gathers passwords and fills the table.
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
#include "SiteRunner.h"
#include "SiteTabs.h"
#include "UserCommand.h"

class IniStorage;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class QVBoxLayout;

class RunOnSitesDlg : public QDialog, private SiteRunner::Listener {
 public:
  // Asks for a file to save to and calls chosen with its path; not at all when cancelled.
  using FileChooser = std::function<void(std::function<void(const std::string& path)> chosen)>;

  RunOnSitesDlg(SiteTabs& tabs, QWidget* parent = nullptr);
  ~RunOnSitesDlg() override;

  void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
  const SiteRun& Results() const { return m_runner.Run(); }
  // The session a row ran on (0: none yet).
  SessionId SessionOfRow(std::size_t row) const;

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
  // Closing ends the run and lets go of its sessions (those a tab shows
  // stay); the rows stay as they are.
  void done(int result) override;

 private:
  class PasswordsDlg;
  // What a row needs before it starts, besides its site.
  struct Pending {
    Site site;
    bool lacking = false;          // no password found: the run asks for it
    std::string keyringPassword;   // held only until the row starts
    std::string keyringProxyPassword;  // the same for the site's proxy
  };

  void BuildControls();
  void LoadSites();
  void LoadCommands();
  void OnGroupChanged();
  void OnCommandChanged();
  // The lines Run sends, checked; empty when nothing is to run (a box said why, if anything was wrong).
  std::vector<std::string> LinesToRun();
  // Ends whatever the last run still does: reads, questions, deadline, rows.
  void StopRun();
  void GatherPasswords();
  void PasswordsRead();
  void AskPasswords(const std::vector<std::size_t>& rows);
  void StartRows();
  void StartNext();
  void OnDeadline();
  void OnRowChanged(std::size_t row) override;
  void ShowRow(std::size_t row);
  void OnRowActivated(int row);
  void Box(const std::string& text, const std::string& caption);

  SiteTabs& m_tabs;
  SiteList m_sites;
  SiteRunner m_runner;
  std::vector<Pending> m_pending;    // one per row of the current run
  std::deque<std::size_t> m_toStart;  // rows still to start, in order
  unsigned m_runNumber = 0;           // answers (keyring, passwords) for an earlier run are dropped
  std::size_t m_keyringReads = 0;     // keyring reads of this run not yet answered
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
  QPushButton* m_showTable = nullptr;
};
