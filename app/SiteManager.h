// The Site Manager: the saved sites, edited in place, with their passwords
// in the system keyring, and a Connect that opens a tab for one of them.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "SiteList.h"
#include "SiteProxyFields.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class SiteTabs;

class SiteManagerDlg : public QDialog {
 public:
  SiteManagerDlg(SiteTabs& tabs, QWidget* parent);
  ~SiteManagerDlg() override;

  // Asks for the file to export to (save) or import from; empty: cancelled.
  // QFileDialog unless a test puts its own here.
  std::function<std::string(bool save)> chooseFile;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  void ProbeKeyringAtOpen();
  // The list as read, with the rows' names; the pending new site, if any, after them.
  void FillList();
  void ShowSite(int row);
  void SelectRow(int row);  // without keeping: the caller has
  void ReadPassword(const Site& site);

  // Takes the fields into the list and writes it. False when the shown site
  // is refused (a box said why) or, when leaving, the user chose to stay
  // after a failed write.
  bool KeepEdits(bool leaving);
  bool SiteFromFields(Site& site);
  void KeepPassword(const Site* before, const Site& after);
  // Writes the list, taking in what another window changed meanwhile.
  bool SaveList(bool leaving);
  // Shows the list as merged, the site in the fields (shown, as it was
  // before) selected still; a box names the sites both windows changed, and
  // the shown one if it went.
  void TakeMerged(const SaveMerge& merge, const std::string& shown, const std::optional<Site>& before);
  int RowOf(const std::string& name) const;

  void OnRowChanged(int row);
  void OnNewSite();
  void OnDelete();
  void OnConnect();
  void OnExport();
  void OnImport();
  int Box(const std::string& text, unsigned type);

  SiteTabs& m_tabs;
  std::string m_path;
  SiteList m_list;
  // Why the file at m_path can't be read; while set it is never written.
  std::string m_unreadable;
  bool m_toldUnsaved = false;
  bool m_dirty = false;      // the list differs from the file
  bool m_closing = false;    // already kept: the close that follows keeps nothing
  int m_row = -1;            // the site shown in the fields
  bool m_keyringUsable = true;
  std::string m_readPassword;  // what the keyring gave for the shown site
  unsigned m_readTicket = 0;   // a read answered after the user moved on is dropped

  QListWidget* m_sites = nullptr;
  QLineEdit* m_name = nullptr;
  QPlainTextEdit* m_addresses = nullptr;
  QLineEdit* m_login = nullptr;
  QLineEdit* m_password = nullptr;
  QComboBox* m_encryption = nullptr;
  QLineEdit* m_antiIdleCommand = nullptr;
  QLineEdit* m_antiIdleSeconds = nullptr;
  QCheckBox* m_remember = nullptr;
  QCheckBox* m_keepLog = nullptr;
  std::unique_ptr<SiteProxyFields> m_proxy;
};
