#include "SiteManager.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "Keyring.h"
#include "MessageBox.h"
#include "SiteCmdDlg.h"
#include "SiteTabs.h"
#include "Text.h"

using platform::FromCp1252;
using platform::ToCp1252;

namespace {

const char kCaption[] = "Site Manager";
const char kNewSite[] = "New site";

// A combo box whose accessible name is its own (its caption), its value the
// choice shown. Qt's combo box names itself after the choice on Linux, so a
// screen reader would read "None" where the field is "Encryption".
class NamedComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;
};

class NamedComboAccessible : public QAccessibleWidget {
 public:
  explicit NamedComboAccessible(NamedComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Combo()->currentText();
    if (t == QAccessible::Accelerator) return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
    return QAccessibleWidget::text(t);
  }
  // Its one child is the list that pops up, as in Qt's own combo box.
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child->object() == Combo()->view() ? 0 : -1;
  }
  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  QString localizedActionDescription(const QString& action) const override {
    return actionNames().contains(action) ? QStringLiteral("Open the combo box selection popup") : QString();
  }
  void doAction(const QString& action) override {
    if (!actionNames().contains(action)) return;
    if (Combo()->view()->isVisible())
      Combo()->hidePopup();
    else
      Combo()->showPopup();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

// What a factory returns belongs to Qt's accessibility cache, which deletes
// it with its widget.
QAccessibleInterface* NamedComboFactory(const QString&, QObject* object) {
  if (auto* combo = dynamic_cast<NamedComboBox*>(object)) return new NamedComboAccessible(combo);
  return nullptr;
}

std::string Text(const QLineEdit* edit) { return ToCp1252(edit->text()); }

// Keyring errors after the dialog has gone are no one's to show.
void Report(QPointer<SiteManagerDlg> dlg, const std::string& what, const platform::KeyringAnswer& answer) {
  if (dlg && answer.status != platform::KeyringAnswer::Status::Done)
    platform::ShowMessageBox(dlg.data(), {what + answer.error, kCaption, platform::kBoxWarning});
}

std::string DefaultChooser(QWidget* parent, bool save) {
  const QString filter = QStringLiteral("Site lists (*.conf);;All files (*)");
  const QString path = save ? QFileDialog::getSaveFileName(parent, QStringLiteral("Export Sites"), {}, filter)
                            : QFileDialog::getOpenFileName(parent, QStringLiteral("Import Sites"), {}, filter);
  return QFile::encodeName(path).toStdString();
}

}  // namespace

SiteManagerDlg::SiteManagerDlg(SiteTabs& tabs, QWidget* parent) : QDialog(parent), m_tabs(tabs) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setModal(false);
  chooseFile = [this](bool save) { return DefaultChooser(this, save); };
  BuildControls();
  m_path = m_tabs.SiteListPath();
  std::string error;
  if (!m_list.Read(m_path, error)) {
    m_unreadable = error;
    Box(error + "\n\nThe site list starts empty here and can't be saved until that file is fixed or moved. "
                "Export still works.",
        platform::kBoxError);
  }
  FillList();
  ProbeKeyringAtOpen();
  if (m_sites->count() > 0) m_sites->setCurrentRow(0);
  else ShowSite(-1);
}

SiteManagerDlg::~SiteManagerDlg() = default;

void SiteManagerDlg::BuildControls() {
  const auto named = [](QWidget* w, const char* name) {
    w->setAccessibleName(QString::fromLatin1(name));
    return w;
  };
  m_sites = new QListWidget(this);
  named(m_sites, "Sites");
  // Uniform rows keep a list of a thousand sites cheap to lay out.
  m_sites->setUniformItemSizes(true);
  m_name = new QLineEdit(this);
  m_addresses = new QPlainTextEdit(this);
  m_addresses->setTabChangesFocus(true);
  m_login = new QLineEdit(this);
  m_password = new QLineEdit(this);
  m_password->setEchoMode(QLineEdit::Password);
  static const bool installed = (QAccessible::installFactory(&NamedComboFactory), true);
  (void)installed;
  m_encryption = new NamedComboBox(this);
  m_encryption->addItems({QStringLiteral("None"), QStringLiteral("Explicit (AUTH TLS)"),
                          QStringLiteral("Implicit (TLS from the first byte)")});
  m_antiIdleCommand = new QLineEdit(this);
  m_antiIdleSeconds = new QLineEdit(this);
  m_remember = new QCheckBox(QStringLiteral("Remember password in the system keyring"), this);
  named(m_remember, "Remember password in the system keyring");
  m_keepLog = new QCheckBox(QStringLiteral("Keep a log of this site"), this);
  named(m_keepLog, "Keep a log of this site");

  auto* form = new QFormLayout;
  const std::pair<const char*, QWidget*> rows[] = {
      {"Name", m_name},         {"Addresses", m_addresses},         {"Login", m_login},
      {"Password", m_password}, {"Encryption", m_encryption},       {"Anti-idle command", m_antiIdleCommand},
      {"Anti-idle seconds", m_antiIdleSeconds}};
  for (const auto& [name, widget] : rows) form->addRow(QString::fromLatin1(name) + ':', named(widget, name));
  m_proxy = std::make_unique<SiteProxyFields>(this, *form, m_tabs.Sessions());
  form->addRow(m_remember);
  form->addRow(m_keepLog);

  const auto button = [this, named](const char* caption, const char* name, std::function<void()> handler) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setAutoDefault(false);
    named(b, name);
    connect(b, &QPushButton::clicked, this, std::move(handler));
    return b;
  };
  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(button("New Site", "New Site", [this] { OnNewSite(); }));
  listButtons->addWidget(button("Delete", "Delete", [this] { OnDelete(); }));
  auto* left = new QVBoxLayout;
  left->addWidget(m_sites);
  left->addLayout(listButtons);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(form, 2);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(button("Export\xE2\x80\xA6", "Export", [this] { OnExport(); }));
  bottom->addWidget(button("Import\xE2\x80\xA6", "Import", [this] { OnImport(); }));
  bottom->addStretch();
  bottom->addWidget(button("Connect", "Connect", [this] { OnConnect(); }));
  bottom->addWidget(button("Close", "Close", [this] { close(); }));
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(bottom);
  connect(m_sites, &QListWidget::currentRowChanged, this, [this](int row) { OnRowChanged(row); });
}

void SiteManagerDlg::ProbeKeyringAtOpen() {
  QPointer<SiteManagerDlg> self(this);
  platform::ProbeKeyring([self](const platform::KeyringAnswer& answer) {
    if (!self || answer.status != platform::KeyringAnswer::Status::Unavailable) return;
    self->m_keyringUsable = false;
    const QString why = FromCp1252("No system keyring is available: " + answer.error);
    self->m_remember->setEnabled(false);
    self->m_remember->setAccessibleDescription(why);
    self->m_remember->setToolTip(why);
  });
}

void SiteManagerDlg::FillList() {
  QStringList names;
  names.reserve(static_cast<qsizetype>(m_list.Sites().size()));
  for (const Site& site : m_list.Sites()) names << FromCp1252(site.name);
  const QSignalBlocker block(m_sites);
  m_sites->clear();
  m_sites->addItems(names);
}

void SiteManagerDlg::SelectRow(int row) {
  {
    const QSignalBlocker block(m_sites);
    m_sites->setCurrentRow(row);
  }
  ShowSite(row);
}

void SiteManagerDlg::ShowSite(int row) {
  m_row = row;
  ++m_readTicket;
  m_readPassword.clear();
  const bool kept = row >= 0 && row < static_cast<int>(m_list.Sites().size());
  Site blank;
  if (row < 0) blank.antiIdleCommand.clear();  // no site at all: empty fields, disabled
  else if (!kept) blank.name = ToCp1252(m_sites->item(row)->text());  // the new site
  const Site& site = kept ? m_list.Sites()[static_cast<std::size_t>(row)] : blank;
  m_name->setText(FromCp1252(site.name));
  m_addresses->setPlainText(FromCp1252(AddressesText(site.addresses)));
  m_login->setText(FromCp1252(site.login));
  m_password->clear();
  m_encryption->setCurrentIndex(static_cast<int>(site.encryption));
  m_antiIdleCommand->setText(FromCp1252(site.antiIdleCommand));
  m_antiIdleSeconds->setText(row < 0 ? QString() : QString::number(site.antiIdleSeconds));
  m_remember->setChecked(site.rememberPassword);
  m_keepLog->setChecked(site.keepLog);
  // What was typed for it in this run comes back; the keyring's fills an empty field only.
  if (kept) m_password->setText(FromCp1252(m_tabs.Passwords().Get(site.name).value_or(std::string())));
  for (QWidget* field : std::initializer_list<QWidget*>{m_name, m_addresses, m_login, m_password, m_encryption,
                                                         m_antiIdleCommand, m_antiIdleSeconds})
    field->setEnabled(row >= 0);
  m_proxy->Show(site, kept, row >= 0, m_keyringUsable);
  if (!site.rememberPassword) return;
  if (m_keyringUsable) ReadPassword(site);
  else m_password->setFocus();
}

void SiteManagerDlg::ReadPassword(const Site& site) {
  QPointer<SiteManagerDlg> self(this);
  platform::ReadSitePassword(site.name, site.login,
                             [self, ticket = m_readTicket](const platform::KeyringAnswer& answer) {
                               if (!self || self->m_readTicket != ticket) return;  // the user moved on
                               if (answer.status != platform::KeyringAnswer::Status::Done) {
                                 self->m_password->setFocus();
                                 return;
                               }
                               self->m_readPassword = answer.password;
                               if (self->m_password->text().isEmpty())  // what the user typed meanwhile wins
                                 self->m_password->setText(FromCp1252(answer.password));
                             });
}

bool SiteManagerDlg::SiteFromFields(Site& site) {
  // The file keeps values trimmed: what is kept is what will be read back.
  const auto trimmed = [](const QLineEdit* edit) { return ToCp1252(edit->text().trimmed()); };
  site.name = trimmed(m_name);
  site.login = trimmed(m_login);
  site.encryption = static_cast<Encryption>(m_encryption->currentIndex());
  site.antiIdleCommand = trimmed(m_antiIdleCommand);
  site.rememberPassword = m_remember->isChecked();
  site.keepLog = m_keepLog->isChecked();
  std::string error;
  if (!m_proxy->Take(site, error)) {
    Box(error, platform::kBoxError);
    return false;
  }
  auto addresses = ParseAddresses(ToCp1252(m_addresses->toPlainText()), site.encryption, error);
  if (!addresses) {
    Box(error, platform::kBoxError);
    m_addresses->setFocus();
    return false;
  }
  site.addresses = std::move(*addresses);
  const std::string seconds = trimmed(m_antiIdleSeconds);
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (seconds.empty() || ec != std::errc() || end != seconds.data() + seconds.size() || value < 1 ||
      value > 0xFFFFFFFFull) {
    Box("Anti-idle seconds must be a whole number from 1 to 4294967295.", platform::kBoxError);
    m_antiIdleSeconds->setFocus();
    return false;
  }
  site.antiIdleSeconds = static_cast<unsigned>(value);
  return true;
}

bool SiteManagerDlg::KeepEdits(bool leaving) {
  if (m_row < 0) return SaveList(leaving);
  const bool isNew = m_row >= static_cast<int>(m_list.Sites().size());
  if (isNew && m_addresses->toPlainText().trimmed().isEmpty() && m_login->text().isEmpty() &&
      m_name->text() == m_sites->item(m_row)->text()) {
    // A new site nobody filled in holds nothing to keep.
    const QSignalBlocker block(m_sites);
    std::unique_ptr<QListWidgetItem> dropped(m_sites->takeItem(m_row));
    m_row = -1;
    return SaveList(leaving);
  }
  Site site;
  if (!SiteFromFields(site)) return false;
  std::optional<Site> before;
  if (!isNew) before = m_list.Sites()[static_cast<std::size_t>(m_row)];
  if (!before || !SameSite(*before, site)) {
    std::string error;
    if (!m_list.Put(before ? before->name : std::string(), site, error)) {
      Box(error, platform::kBoxError);
      m_name->setFocus();
      return false;
    }
    m_dirty = true;
    m_sites->item(m_row)->setText(FromCp1252(site.name));
  }
  // What is typed is kept for this run (Run on Sites reads it); what the keyring filled in is its own.
  SitePasswords& passwords = m_tabs.Passwords();
  if (before) m_tabs.Sessions().RenameSite(before->name, site.name);  // its sessions and typed password follow
  if (const std::string typed = Text(m_password); typed.empty() || typed != m_readPassword)
    passwords.Set(site.name, typed);
  KeepPassword(before ? &*before : nullptr, site);
  m_proxy->Keep(before ? &*before : nullptr, site, m_keyringUsable);
  return SaveList(leaving);
}

void SiteManagerDlg::KeepPassword(const Site* before, const Site& after) {
  if (!m_keyringUsable) return;
  using platform::KeyringAnswer;
  QPointer<SiteManagerDlg> self(this);
  const auto write = [self](const Site& site, const std::string& password) {
    platform::WriteSitePassword(site.name, site.login, password, [self](const KeyringAnswer& answer) {
      Report(self, "The password could not be kept in the system keyring: ", answer);
    });
  };
  const auto forget = [self](const Site& site) {
    platform::DeleteSitePassword(site.name, site.login, [self](const KeyringAnswer& answer) {
      if (answer.status != KeyringAnswer::Status::NotFound)
        Report(self, "The old password could not be removed from the system keyring: ", answer);
    });
  };
  const std::string typed = Text(m_password);
  const bool wasKept = before && before->rememberPassword;
  const bool moved = wasKept && (before->name != after.name || before->login != after.login);
  if (after.rememberPassword && !typed.empty()) {
    if (moved || !wasKept || typed != m_readPassword) write(after, typed);
    m_readPassword = typed;
    if (moved) forget(*before);
  } else if (after.rememberPassword && moved) {
    // Nothing typed (the read failed or hasn't come): the entry moves as the keyring holds it.
    platform::ReadSitePassword(before->name, before->login,
                               [self, write, forget, from = *before, to = after](const KeyringAnswer& answer) {
                                 if (answer.status != KeyringAnswer::Status::Done) return;
                                 write(to, answer.password);
                                 forget(from);
                               });
  } else if (!after.rememberPassword && wasKept) {
    forget(*before);
  }
}

bool SiteManagerDlg::SaveList(bool leaving) {
  if (!m_dirty) return true;
  std::string error;
  if (m_unreadable.empty()) {
    const std::string shown = m_row >= 0 && m_row < m_sites->count() ? ToCp1252(m_sites->item(m_row)->text()) : "";
    std::optional<Site> before;
    if (const Site* site = m_list.Find(shown)) before = *site;
    SaveMerge merge;
    const bool saved = m_list.Save(m_path, error, merge);
    if (merge.merged) TakeMerged(merge, shown, before);
    if (saved) {
      m_dirty = false;
      return true;
    }
  } else {
    error = "The site list can't be saved until " + Shown(m_path) + " is fixed or moved. Export still works.";
  }
  if (leaving)
    return Box(error + "\n\nThe changes are kept in this window only. Leave it anyway and lose them?",
               platform::kBoxYesNo | platform::kBoxWarning | platform::kBoxNoByDefault) == platform::kAnswerYes;
  // While the file is unreadable every change would say the same; once is enough.
  if (m_unreadable.empty() || !std::exchange(m_toldUnsaved, true))
    Box(error + "\n\nThe changes are kept in this window.", platform::kBoxError);
  return true;
}

void SiteManagerDlg::TakeMerged(const SaveMerge& merge, const std::string& shown, const std::optional<Site>& before) {
  FillList();
  const int row = shown.empty() ? -1 : RowOf(shown);
  std::string text;
  if (!merge.ours.empty()) {
    text =
        "The site list was changed in another window too. Its changes are kept, except where both windows "
        "changed the same site; for these this window's version is kept:";
    for (const std::string& name : merge.ours) text += "\n\"" + Shown(name) + "\"";
  }
  if (row >= 0) {
    {
      const QSignalBlocker block(m_sites);
      m_sites->setCurrentRow(row);
    }
    m_row = row;  // the fields show it still, unless the other window's version of it was taken
    if (before && !SameSite(*before, m_list.Sites()[static_cast<std::size_t>(row)])) ShowSite(row);
  } else if (!shown.empty()) {
    text += std::string(text.empty() ? "" : "\n\n") + "\"" + Shown(shown) + "\" was deleted in another window.";
    SelectRow(std::min(m_row, m_sites->count() - 1));
  }
  if (!text.empty()) Box(text, platform::kBoxWarning);
}

int SiteManagerDlg::RowOf(const std::string& name) const {
  for (int i = 0; i < m_sites->count(); ++i)
    if (ToCp1252(m_sites->item(i)->text()) == name) return i;
  return -1;
}

void SiteManagerDlg::OnRowChanged(int row) {
  if (row == m_row) return;
  const int previous = m_row;
  const std::string wanted = row >= 0 ? ToCp1252(m_sites->item(row)->text()) : "";
  if (!KeepEdits(false)) {
    if (m_row != previous) return;  // the list changed under it; a box said how
    const QSignalBlocker block(m_sites);
    m_sites->setCurrentRow(previous);
    return;
  }
  // Keeping may have dropped an empty new site or taken in another window's changes: find the row again.
  const int now = RowOf(wanted);
  ShowSite(now >= 0 ? now : std::min(row, m_sites->count() - 1));
}

void SiteManagerDlg::OnNewSite() {
  if (!KeepEdits(false)) return;
  const std::string name = m_list.FreeName(kNewSite);
  m_sites->addItem(FromCp1252(name));
  SelectRow(m_sites->count() - 1);
  m_name->setFocus();
  m_name->selectAll();
}

void SiteManagerDlg::OnDelete() {
  if (m_row < 0) return;
  const int row = m_row;
  const bool isNew = row >= static_cast<int>(m_list.Sites().size());
  const std::string name = ToCp1252(m_sites->item(row)->text());
  if (Box("Delete the site \"" + Shown(name) + "\"?", platform::kBoxYesNo | platform::kBoxWarning | platform::kBoxNoByDefault) != platform::kAnswerYes) return;
  if (!isNew) {
    const Site site = m_list.Sites()[static_cast<std::size_t>(row)];
    m_list.Remove(site.name);
    m_tabs.Passwords().Forget(site.name);
    m_proxy->Forget(site, m_keyringUsable);
    m_dirty = true;
    if (site.rememberPassword && m_keyringUsable) {
      QPointer<SiteManagerDlg> self(this);
      platform::DeleteSitePassword(site.name, site.login, [self](const platform::KeyringAnswer& answer) {
        if (answer.status != platform::KeyringAnswer::Status::NotFound)
          Report(self, "The password could not be removed from the system keyring: ", answer);
      });
    }
  }
  {
    const QSignalBlocker block(m_sites);
    std::unique_ptr<QListWidgetItem> gone(m_sites->takeItem(row));
  }
  SaveList(false);
  SelectRow(std::min(row, m_sites->count() - 1));
}

void SiteManagerDlg::OnConnect() {
  if (m_row < 0) return;
  // Taken before keeping: a merge that shows the site afresh would clear the field.
  const std::string name = ToCp1252(m_name->text().trimmed()), password = Text(m_password);
  const std::string proxyPassword = m_proxy->Password();
  if (!KeepEdits(true)) return;
  // An empty new site was all there was, or another window deleted this one (a box said so).
  if (m_row < 0 || m_row >= static_cast<int>(m_list.Sites().size()) ||
      m_list.Sites()[static_cast<std::size_t>(m_row)].name != name)
    return;
  const Site site = m_list.Sites()[static_cast<std::size_t>(m_row)];
  SiteTabs& tabs = m_tabs;
  m_closing = true;  // kept already
  // The tab reads the proxy's password where a typed one is kept, for this run.
  if (!proxyPassword.empty() && !site.ProxyUser().empty())
    m_tabs.Sessions().ProxyPasswords().Set(site.name, proxyPassword);
  close();
  tabs.OpenSiteTab(site, false).ConnectSite(site, password);
}

void SiteManagerDlg::OnExport() {
  if (!KeepEdits(false)) return;
  if (m_row < 0 && m_sites->count() > 0) SelectRow(m_sites->count() - 1);
  const std::string path = chooseFile ? chooseFile(true) : std::string();
  if (path.empty()) return;
  std::error_code ec;
  std::string error;
  if (!m_unreadable.empty() && std::filesystem::equivalent(path, m_path, ec))
    Box("The site list there can't be read; fix or move it first, or export to another file.", platform::kBoxError);
  else if (!m_list.Write(path, error))
    Box(error, platform::kBoxError);
}

void SiteManagerDlg::OnImport() {
  if (!KeepEdits(false)) return;
  const std::string path = chooseFile ? chooseFile(false) : std::string();
  if (path.empty()) {
    if (m_row < 0 && m_sites->count() > 0) SelectRow(m_sites->count() - 1);
    return;
  }
  const std::size_t before = m_list.Sites().size();
  std::string error;
  if (!m_list.Import(path, error)) {
    Box(error, platform::kBoxError);
    return;
  }
  {
    const QSignalBlocker block(m_sites);
    for (std::size_t i = before; i < m_list.Sites().size(); ++i) m_sites->addItem(FromCp1252(m_list.Sites()[i].name));
  }
  m_dirty = m_dirty || m_list.Sites().size() > before;
  SaveList(false);
  if (m_row < 0 && m_sites->count() > 0) SelectRow(static_cast<int>(std::min(before, m_list.Sites().size() - 1)));
}

void SiteManagerDlg::closeEvent(QCloseEvent* event) {
  if (!std::exchange(m_closing, false) && !KeepEdits(true)) {
    event->ignore();
    return;
  }
  event->accept();
  QDialog::done(QDialog::Rejected);  // QDialog's own close handling would call reject() and come back here
}

// Escape closes as Close does, keeping the edits.
void SiteManagerDlg::reject() { close(); }

int SiteManagerDlg::Box(const std::string& text, unsigned type) {
  return platform::ShowMessageBox(static_cast<QWidget*>(this), {text, kCaption, type});
}
