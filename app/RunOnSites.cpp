#include "RunOnSites.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>

#include "CommandList.h"
#include "CommandListFile.h"
#include "IniStorage.h"
#include "Keyring.h"
#include "MessageBox.h"
#include "SaveFile.h"
#include "Session.h"
#include "ShowAsTable.h"
#include "TabLog.h"
#include "Text.h"

namespace {
const char kNoPassword[] = "no password: open the site from the Site Manager and type it";
const char kNoProxyPassword[] = "no proxy password: open the site from the Site Manager and type it";
const char kBadTimeout[] = "The timeout must be a whole number of seconds from 1 to 86400.\n\nNothing was run.";
const char kLineBreak[] =
    "The command holds a line break or a NUL character.\n\n"
    "The server would take each line as a command of its own, so nothing was sent.";

QString Q(const std::string& text) { return platform::FromCp1252(text); }
std::string S(const QString& text) { return platform::ToCp1252(text); }

}  // namespace

// The one question of a run: a password field per site still lacking one,
// each named after its site. Shown window-modal and never waited for: the
// run goes on from its finished signal.
class RunOnSitesDlg::PasswordsDlg : public QDialog {
 public:
  PasswordsDlg(const std::vector<std::string>& sites, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Passwords"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Type the passwords of these sites. They are kept in memory until "
                                            "the program ends, never saved."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    for (const std::string& site : sites) {
      auto* field = new QLineEdit(this);
      field->setEchoMode(QLineEdit::Password);
      field->setAccessibleName(Q(site));
      form->addRow(Q(site) + QLatin1Char(':'), field);
      m_fields.push_back(field);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* button : buttons->buttons()) button->setAccessibleName(button->text().remove('&'));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setWindowModality(Qt::WindowModal);
  }
  // What was typed, in the order of the sites; the fields are emptied.
  std::vector<std::string> Take() {
    std::vector<std::string> typed;
    for (QLineEdit* field : m_fields) {
      typed.push_back(S(field->text()));
      field->clear();
    }
    return typed;
  }

 private:
  std::vector<QLineEdit*> m_fields;  // owned by the dialog as their Qt parent
};

RunOnSitesDlg::RunOnSitesDlg(SiteTabs& tabs, QWidget* parent)
    : QDialog(parent), m_tabs(tabs), m_runner(tabs.Sessions(), *this, SiteRunner::Options{}) {
  setWindowTitle(QStringLiteral("Run on Sites"));
  setModal(false);
  m_chooseFile = [this](std::function<void(const std::string&)> chosen) {
    // Not modal: the run goes on while the user picks a file.
    ChooseFileToSave(this, QStringLiteral("results.csv"), QStringLiteral("Save results"), std::move(chosen));
  };
  BuildControls();
  LoadSites();
  LoadCommands();
}

RunOnSitesDlg::~RunOnSitesDlg() { StopRun(); }

void RunOnSitesDlg::BuildControls() {
  auto* layout = new QVBoxLayout(this);

  // A check box per site: a screen reader hears each as one, checkable, and its state.
  layout->addWidget(new QLabel(QStringLiteral("Sites:"), this));
  auto* sites = new QScrollArea(this);
  sites->setAccessibleName(QStringLiteral("Sites"));
  sites->setWidgetResizable(true);
  sites->setMinimumHeight(120);
  auto* siteColumnWidget = new QWidget(sites);
  m_siteColumn = new QVBoxLayout(siteColumnWidget);
  m_siteColumn->addStretch(1);
  sites->setWidget(siteColumnWidget);
  layout->addWidget(sites);

  auto* commandRow = new QHBoxLayout;
  auto* commandLabel = new QLabel(QStringLiteral("Command:"), this);
  m_command = new QLineEdit(this);
  m_command->setAccessibleName(QStringLiteral("Command"));
  commandLabel->setBuddy(m_command);
  m_autoSite = new QCheckBox(QStringLiteral("auto add SITE pref."), this);
  m_autoSite->setAccessibleName(QStringLiteral("auto add SITE pref."));
  m_autoSite->setChecked(true);
  commandRow->addWidget(commandLabel);
  commandRow->addWidget(m_command, 1);
  commandRow->addWidget(m_autoSite);
  layout->addLayout(commandRow);

  auto* userRow = new QHBoxLayout;
  m_group = new QComboBox(this);
  m_group->setAccessibleName(QStringLiteral("group"));
  m_userCommand = new QComboBox(this);
  m_userCommand->setAccessibleName(QStringLiteral("command"));
  userRow->addWidget(new QLabel(QStringLiteral("group:"), this));
  userRow->addWidget(m_group, 1);
  userRow->addWidget(new QLabel(QStringLiteral("command:"), this));
  userRow->addWidget(m_userCommand, 2);
  layout->addLayout(userRow);

  auto* arguments = new QGridLayout;
  for (int n = 1; n <= usercommands::kArgumentCount; ++n) {
    auto* label = new QLabel(this);
    auto* edit = new QLineEdit(this);
    edit->setAccessibleName(QStringLiteral("Argument %1").arg(n));
    edit->setEnabled(false);
    label->setBuddy(edit);
    const int row = (n - 1) / 3, column = (n - 1) % 3 * 2;
    arguments->addWidget(label, row, column);
    arguments->addWidget(edit, row, column + 1);
    m_argumentLabels.push_back(label);
    m_arguments.push_back(edit);
  }
  layout->addLayout(arguments);

  auto* runRow = new QHBoxLayout;
  auto* timeoutLabel = new QLabel(QStringLiteral("Timeout (s):"), this);
  m_timeout = new QLineEdit(QStringLiteral("60"), this);
  m_timeout->setAccessibleName(QStringLiteral("Timeout"));
  m_timeout->setMaximumWidth(80);
  timeoutLabel->setBuddy(m_timeout);
  m_runButton = new QPushButton(QStringLiteral("Run"), this);
  m_runButton->setAccessibleName(QStringLiteral("Run"));
  m_runButton->setDefault(true);
  runRow->addWidget(m_runButton);
  runRow->addSpacing(12);
  runRow->addWidget(timeoutLabel);
  runRow->addWidget(m_timeout);
  runRow->addStretch(1);
  layout->addLayout(runRow);
  // Rows still running when it falls due have waited long enough.
  m_deadline = new QTimer(this);
  m_deadline->setSingleShot(true);
  m_deadline->setTimerType(Qt::PreciseTimer);
  connect(m_deadline, &QTimer::timeout, this, [this] { OnDeadline(); });

  m_table = new QTableWidget(0, static_cast<int>(SiteRun::Header().size()), this);
  m_table->setAccessibleName(QStringLiteral("Results"));
  QStringList header;
  for (const std::string& title : SiteRun::Header()) header << Q(title);
  m_table->setHorizontalHeaderLabels(header);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->horizontalHeader()->setStretchLastSection(false);
  m_table->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  layout->addWidget(m_table, 1);

  auto* buttons = new QHBoxLayout;
  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  copy->setAccessibleName(QStringLiteral("Copy"));
  auto* save = new QPushButton(QStringLiteral("Save\u2026"), this);
  save->setAccessibleName(QStringLiteral("Save"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setAccessibleName(QStringLiteral("Close"));
  buttons->addWidget(copy);
  buttons->addWidget(save);
  m_showTable = MakeRunTableButton(this, m_runner, m_tabs.Sessions());
  buttons->addWidget(m_showTable);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(m_runButton, &QPushButton::clicked, this, [this] { Run(); });
  connect(copy, &QPushButton::clicked, this, [this] { Copy(); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(close, &QPushButton::clicked, this, [this] { reject(); });
  connect(m_group, &QComboBox::currentIndexChanged, this, [this] { OnGroupChanged(); });
  connect(m_userCommand, &QComboBox::currentIndexChanged, this, [this] { OnCommandChanged(); });
  connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OnRowActivated(row); });
  resize(640, 560);
}

void RunOnSitesDlg::Box(const std::string& text, const std::string& caption) {
  platform::ShowMessageBox(this, {text, caption, platform::kBoxError});
}

void RunOnSitesDlg::LoadSites() {
  // Read afresh at each opening (the Site Manager may have changed the list); ticks stay by name.
  std::set<std::string> ticked;
  for (const auto& box : m_siteBoxes)
    if (box->isChecked()) ticked.insert(S(box->accessibleName()));
  m_siteBoxes.clear();
  std::string error;
  m_sites = SiteList();
  if (!m_sites.Read(m_tabs.SiteListPath(), error)) {
    Box("Can't read the site list:\n\n" + error, "Run on Sites");
    m_sites = SiteList();
  }
  for (const Site& site : m_sites.Sites()) {
    // A "&" in a name is shown as it is, not taken for a shortcut.
    auto box = std::make_unique<QCheckBox>(Q(site.name).replace('&', QStringLiteral("&&")));
    box->setAccessibleName(Q(site.name));
    box->setChecked(ticked.count(site.name) > 0);
    m_siteColumn->insertWidget(m_siteColumn->count() - 1, box.get());
    m_siteBoxes.push_back(std::move(box));
  }
}

void RunOnSitesDlg::LoadCommands() {
  usercommands::LoadedCommandList list = usercommands::LoadCommandList();
  if (!list.missing && list.error.empty()) {
    m_commandStorage = std::make_unique<IniStorage>(std::move(list.storage));
  } else if (!list.missing) {
    // Raw commands still run; the user learns why the command choice is empty.
    Box("Can't read file commandList.ini!\nNo user commands can be chosen.\n\nError Message:\n" + list.error,
        "Run on Sites");
  }
  if (m_commandStorage)
    for (const std::string& group : usercommands::GroupList(*m_commandStorage)) m_group->addItem(Q(group));
  OnGroupChanged();
}

void RunOnSitesDlg::OnGroupChanged() {
  m_groupCommands.clear();
  const QSignalBlocker quiet(m_userCommand);
  m_userCommand->clear();
  m_userCommand->addItem(QString());  // no user command: the Command edit's text runs
  if (m_commandStorage && m_group->currentIndex() >= 0)
    m_groupCommands = usercommands::CommandsOfGroup(*m_commandStorage, S(m_group->currentText()));
  for (const UserCommand& command : m_groupCommands) m_userCommand->addItem(Q(command.description));
  m_userCommand->setCurrentIndex(0);
  OnCommandChanged();
}

void RunOnSitesDlg::OnCommandChanged() {
  const int index = m_userCommand->currentIndex() - 1;
  const UserCommand* command =
      index >= 0 && static_cast<std::size_t>(index) < m_groupCommands.size() ? &m_groupCommands[index] : nullptr;
  for (int n = 1; n <= usercommands::kArgumentCount; ++n) {
    const bool used = command && usercommands::UsesArgument(command->commandLines, n);
    m_arguments[n - 1]->setEnabled(used);
    m_argumentLabels[n - 1]->setText(used ? Q(command->paramLabels[n - 1]) : QString());
  }
}

std::vector<std::string> RunOnSitesDlg::LinesToRun() {
  std::vector<std::string> lines;
  const int index = m_userCommand->currentIndex() - 1;
  if (index >= 0 && static_cast<std::size_t>(index) < m_groupCommands.size()) {
    const UserCommand& command = m_groupCommands[index];
    usercommands::Arguments arguments;
    for (int n = 1; n <= usercommands::kArgumentCount; ++n) arguments[n - 1] = S(m_arguments[n - 1]->text());
    usercommands::BuiltCommand built = usercommands::BuildCommand(command.commandLines, arguments);
    if (built.problem != usercommands::BuildProblem::None) {
      platform::ShowMessageBox(this, {usercommands::NotSentMessage(command, arguments, built),
                                      usercommands::kNotSentCaption, platform::kBoxError});
      return {};
    }
    lines = std::move(built.siteLines);
  } else {
    lines.push_back(Session::RawCommand(S(m_command->text()), m_autoSite->isChecked()));
  }
  std::vector<std::string> ready;
  for (std::string& line : lines) {
    const Session::SendResult result = Session::PrepareLine(line);
    if (result == Session::SendResult::Unsendable) {
      Box(kLineBreak, "Can't send!");
      return {};
    }
    if (result == Session::SendResult::Sent) ready.push_back(std::move(line));
  }
  return ready;
}

void RunOnSitesDlg::Run() {
  // An empty Command edit runs nothing, "SITE " alone included.
  if (m_userCommand->currentIndex() <= 0 && S(m_command->text()).find_first_not_of(" \t") == std::string::npos)
    return;
  std::vector<std::string> lines = LinesToRun();
  if (lines.empty()) return;

  unsigned seconds = 0;
  if (!SiteRun::ParseTimeout(S(m_timeout->text()), seconds)) {
    Box(kBadTimeout, "Run on Sites");
    m_timeout->setFocus();
    return;
  }

  std::vector<Site> sites;
  for (std::size_t i = 0; i < m_siteBoxes.size(); ++i)
    if (m_siteBoxes[i]->isChecked()) sites.push_back(m_sites.Sites()[i]);
  if (sites.empty()) return;

  StopRun();
  m_limit = std::chrono::seconds(seconds);
  std::vector<std::string> names;
  m_pending.clear();
  for (const Site& site : sites) {
    names.push_back(site.name);
    m_pending.push_back({site, false, {}, {}});
  }
  m_runner.Begin(names, std::move(lines));
  m_table->setRowCount(static_cast<int>(sites.size()));
  for (std::size_t row = 0; row < sites.size(); ++row) ShowRow(row);
  GatherPasswords();
}

void RunOnSitesDlg::StopRun() {
  ++m_runNumber;
  m_keyringReads = 0;
  m_asking.reset();
  m_toStart.clear();
  if (m_deadline) m_deadline->stop();
  for (Pending& p : m_pending) p.keyringPassword.clear(), p.keyringProxyPassword.clear();
}

void RunOnSitesDlg::GatherPasswords() {
  // A site's live session needs none; then what was typed in this run of the program, then the keyring.
  std::vector<std::size_t> toRead;
  for (std::size_t row = 0; row < m_pending.size(); ++row) {
    const Pending& p = m_pending[row];
    if (m_runner.HasLiveSession(row) || m_tabs.Passwords().Get(p.site.name)) continue;
    if (p.site.rememberPassword)
      toRead.push_back(row);
    else
      m_pending[row].lacking = true;
  }
  // A proxy's password: typed this run, else the keyring's beside the site's (never asked for).
  std::vector<std::size_t> proxyReads;
  for (std::size_t row = 0; row < m_pending.size(); ++row) {
    const Site& site = m_pending[row].site;
    if (site.rememberPassword && !site.ProxyUser().empty() && !m_tabs.Sessions().ProxyPasswords().Get(site.name))
      proxyReads.push_back(row);
  }
  m_keyringReads = toRead.size() + proxyReads.size();
  for (std::size_t row : proxyReads) {
    QPointer<RunOnSitesDlg> self(this);
    platform::ReadProxyPassword(m_pending[row].site.name, m_pending[row].site.ProxyUser(),
                                [self, run = m_runNumber, row](const platform::KeyringAnswer& answer) {
                                  if (!self || run != self->m_runNumber) return;
                                  self->m_pending[row].keyringProxyPassword = answer.password;
                                  if (self->m_keyringReads > 0 && --self->m_keyringReads == 0) self->PasswordsRead();
                                });
  }
  if (m_keyringReads == 0) {
    PasswordsRead();
    return;
  }
  for (std::size_t row : toRead) {
    const unsigned run = m_runNumber;
    QPointer<RunOnSitesDlg> self(this);
    platform::ReadSitePassword(m_pending[row].site.name, m_pending[row].site.login,
                               [self, run, row](const platform::KeyringAnswer& answer) {
                                 if (!self || run != self->m_runNumber) return;  // the run or the dialog has gone
                                 Pending& p = self->m_pending[row];
                                 // A failed read is a password still lacking: the user is asked for it with the others.
                                 if (answer.status == platform::KeyringAnswer::Status::Done && !answer.password.empty())
                                   p.keyringPassword = answer.password;
                                 else
                                   p.lacking = true;
                                 if (self->m_keyringReads > 0 && --self->m_keyringReads == 0) self->PasswordsRead();
                               });
  }
}

void RunOnSitesDlg::PasswordsRead() {
  std::vector<std::size_t> lacking;
  for (std::size_t row = 0; row < m_pending.size(); ++row)
    if (m_pending[row].lacking && !Results().Row(row).Ended()) lacking.push_back(row);
  if (lacking.empty())
    StartRows();
  else
    AskPasswords(lacking);
}

void RunOnSitesDlg::AskPasswords(const std::vector<std::size_t>& rows) {
  std::vector<std::string> names;
  for (std::size_t row : rows) names.push_back(m_pending[row].site.name);
  m_asking = std::make_unique<PasswordsDlg>(names, this);
  const unsigned run = m_runNumber;
  connect(m_asking.get(), &QDialog::finished, this, [this, rows, run](int result) {
    if (run != m_runNumber || !m_asking) return;
    const std::vector<std::string> typed = m_asking->Take();
    m_asking.release()->deleteLater();  // not inside its own signal
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Pending& p = m_pending[rows[i]];
      if (result != QDialog::Accepted) {
        m_runner.Fail(rows[i], "no password: cancelled");
      } else if (typed[i].empty()) {
        m_runner.Fail(rows[i], "no password: none was typed");
      } else {
        m_tabs.Passwords().Set(p.site.name, typed[i]);  // for the program's run, in memory only
        p.lacking = false;
      }
    }
    StartRows();
  });
  m_asking->open();
}

void RunOnSitesDlg::StartRows() {
  m_runner.Restart();
  m_deadline->start(std::chrono::duration_cast<std::chrono::milliseconds>(m_limit));
  // Every row is in the table before the first can end; then they start a
  // few per turn of the event loop, so input and painting come between.
  m_toStart.clear();
  for (std::size_t row = 0; row < m_pending.size(); ++row)
    if (!Results().Row(row).Ended()) m_toStart.push_back(row);
  StartNext();
}

void RunOnSitesDlg::StartNext() {
  constexpr int kPerTurn = 8;
  const unsigned run = m_runNumber;
  QTimer::singleShot(0, this, [this, run] {
    if (run != m_runNumber) return;
    for (int n = 0; n < kPerTurn && !m_toStart.empty(); ++n) {
      const std::size_t row = m_toStart.front();
      m_toStart.pop_front();
      Pending& p = m_pending[row];
      if (Results().Row(row).Ended()) continue;
      std::string password = m_tabs.Passwords().Get(p.site.name).value_or(std::string());
      if (password.empty()) password = std::exchange(p.keyringPassword, {});
      if (password.empty() && !m_runner.HasLiveSession(row)) {
        m_runner.Fail(row, kNoPassword);
        continue;
      }
      const std::string proxyPassword = m_tabs.Sessions().ProxyPasswords().Get(p.site.name).value_or(
          std::exchange(p.keyringProxyPassword, {}));
      // A proxy that wants a login would only refuse an empty password.
      if (proxyPassword.empty() && !p.site.ProxyUser().empty() && !m_runner.HasLiveSession(row)) {
        m_runner.Fail(row, kNoProxyPassword);
        continue;
      }
      m_runner.Start(row, p.site.Request(password, proxyPassword));
      LogOnConnect(m_tabs.Sessions(), m_runner.SessionOf(row), &p.site, p.site.name);
    }
    if (!m_toStart.empty()) StartNext();
  });
}

void RunOnSitesDlg::OnDeadline() {
  const auto now = SiteRun::Clock::now();
  m_runner.TimeOut(m_limit, now);
  // A timer may fall due a hair early: rows not yet past the limit get the rest.
  auto next = SiteRun::Clock::time_point::max();
  for (const SiteRunRow& r : Results().Rows())
    if (!r.Ended()) next = std::min(next, r.started + m_limit);
  if (next != SiteRun::Clock::time_point::max())
    m_deadline->start(std::max<std::chrono::milliseconds>(
        std::chrono::duration_cast<std::chrono::milliseconds>(next - now), std::chrono::milliseconds(1)));
}

void RunOnSitesDlg::OnRowChanged(std::size_t row) { ShowRow(row); }

SessionId RunOnSitesDlg::SessionOfRow(std::size_t row) const {
  return row < Results().Rows().size() ? m_runner.SessionOf(row) : 0;
}

void RunOnSitesDlg::done(int result) {
  StopRun();
  m_runner.Abandon();  // the rows stay as they are; the sessions no tab shows go
  QDialog::done(result);
}

void RunOnSitesDlg::ShowRow(std::size_t row) {
  if (static_cast<int>(row) >= m_table->rowCount()) return;
  const std::vector<std::string> cells = Results().Table()[row + 1];
  for (std::size_t column = 0; column < cells.size(); ++column) {
    QTableWidgetItem* item = m_table->item(static_cast<int>(row), static_cast<int>(column));
    if (!item) {
      item = new QTableWidgetItem;
      m_table->setItem(static_cast<int>(row), static_cast<int>(column), item);
    }
    item->setText(Q(cells[column]));
  }
  UpdateRunTableButton(*m_showTable, m_runner, m_tabs.Sessions());
}

void RunOnSitesDlg::OnRowActivated(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= Results().Rows().size()) return;
  if (const SessionId id = m_runner.SessionOf(static_cast<std::size_t>(row)))
    m_tabs.ShowSession(id, Results().Row(static_cast<std::size_t>(row)).line);
}

void RunOnSitesDlg::Copy() { QApplication::clipboard()->setText(Q(Results().TabSeparated())); }

void RunOnSitesDlg::Save() {
  m_chooseFile([this](const std::string& path) {
    if (!path.empty()) SaveWhole(this, path, Results().Csv(), "the results", "Run on Sites");
  });
}
