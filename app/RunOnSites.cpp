#include "RunOnSites.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "CommandList.h"
#include "CommandListLocation.h"
#include "ConnectErrors.h"
#include "IniStorage.h"
#include "Keyring.h"
#include "MessageBox.h"
#include "SiteCmdDlg.h"
#include "internal/Cp1252.h"

namespace {
const char kNoPassword[] = "no password: open the site from the Site Manager and type it";
const char kBadTimeout[] = "The timeout must be a whole number of seconds from 1 to 86400.\n\nNothing was run.";
const char kLineBreak[] =
    "The command holds a line break or a NUL character.\n\n"
    "The server would take each line as a command of its own, so nothing was sent.";

QString Q(const std::string& text) { return platform::FromCp1252(text); }
std::string S(const QString& text) { return platform::ToCp1252(text); }

// A connect error's text ends in a blank; the table has no use for it.
std::string Trimmed(std::string text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

// A tab whose dialog has ended has no session left; its page goes a turn of the loop later.
bool Ending(CSiteCmdDlg& tab) { return tab.IsEnded() || !tab.GetSession(); }
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

// Follows one row's tab: every session event of that tab comes here too.
class RunOnSitesDlg::Follower : public SessionObserver {
 public:
  Follower(RunOnSitesDlg& dlg, std::size_t row, Site site) : m_dlg(dlg), m_row(row), m_site(std::move(site)) {}

  RunOnSitesDlg& m_dlg;
  std::size_t m_row;
  // The site's tab: the one open when Run was clicked, else the one the row
  // finds or opens; null once it has gone.
  CSiteCmdDlg* m_tab = nullptr;
  bool m_observing = false;
  bool m_stopped = false;  // the dialog closed before the row found its tab
  Site m_site;
  bool m_connectAsked = false;
  bool m_lacking = false;  // no password found: the run asks for it
  bool m_sent = false;
  std::string m_keyringPassword;  // held only until the connect takes it
  ReplyTail m_tail;

  void OnLine(TranscriptKind kind, std::string_view text) override { m_tail.Add(kind, text); }
  void OnBlockDone(Transcript::Pos) override {}
  void OnState(SessionState state) override { m_dlg.OnRowState(*this, state); }
  void OnLoginDone(ControlConnection::Login result, int connectError, const std::string& failure) override {
    m_dlg.OnRowLogin(*this, result, connectError, failure);
  }
  void OnRunDone(ControlConnection::Result result) override { m_dlg.OnRowRunDone(*this, result); }
};

RunOnSitesDlg::RunOnSitesDlg(SiteTabs& tabs, QWidget* parent) : QDialog(parent), m_tabs(tabs) {
  setWindowTitle(QStringLiteral("Run on Sites"));
  setModal(false);
  m_chooseFile = [this](std::function<void(const std::string&)> chosen) {
    // Not modal: the run goes on while the user picks a file.
    auto* chooser = new QFileDialog(this, QStringLiteral("Save"), QStringLiteral("results.csv"),
                                   QStringLiteral("CSV files (*.csv);;All files (*)"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setAccessibleName(QStringLiteral("Save results"));
    connect(chooser, &QFileDialog::fileSelected, this,
            [chosen](const QString& path) { chosen(QFile::encodeName(path).toStdString()); });
    chooser->open();
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
  platform::ShowMessageBox(this, {text, caption, MB_ICONERROR});
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
                                      usercommands::kNotSentCaption, MB_ICONHAND});
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
  m_followers.clear();
  m_limit = std::chrono::seconds(seconds);
  m_lines = std::move(lines);
  std::vector<std::string> names;
  for (const Site& site : sites) names.push_back(site.name);
  m_run.Begin(names);
  m_table->setRowCount(static_cast<int>(sites.size()));
  for (std::size_t row = 0; row < sites.size(); ++row) {
    m_followers.push_back(std::make_shared<Follower>(*this, row, sites[row]));
    m_followers.back()->m_tab = m_tabs.FindSiteTab(sites[row].name);  // closing it fails the row
    ShowRow(row);
  }
  GatherPasswords();
}

void RunOnSitesDlg::StopRun() {
  ++m_runNumber;
  m_keyringReads = 0;
  m_asking.reset();
  if (m_deadline) m_deadline->stop();
  DetachAll();
}

bool RunOnSitesDlg::HasPassword(const Follower& f) const {
  if (f.m_tab && !Ending(*f.m_tab) && (f.m_tab->IsConnected() || f.m_tab->IsWorking() || !f.m_tab->m_password.empty()))
    return true;
  return m_tabs.Passwords().Get(f.m_site.name).has_value();
}

void RunOnSitesDlg::GatherPasswords() {
  std::vector<std::shared_ptr<Follower>> toRead;
  for (const std::shared_ptr<Follower>& f : m_followers) {
    if (HasPassword(*f)) continue;
    if (f->m_site.rememberPassword)
      toRead.push_back(f);
    else
      f->m_lacking = true;
  }
  m_keyringReads = toRead.size();
  if (toRead.empty()) {
    PasswordsRead();
    return;
  }
  for (const std::shared_ptr<Follower>& f : toRead) {
    std::weak_ptr<Follower> weak = f;
    platform::ReadSitePassword(f->m_site.name, f->m_site.login, [this, weak](const platform::KeyringAnswer& answer) {
      const std::shared_ptr<Follower> follower = weak.lock();
      if (!follower) return;  // the run or the dialog has gone
      // A failed read is a password still lacking: the user is asked for it with the others.
      if (answer.status == platform::KeyringAnswer::Status::Done && !answer.password.empty())
        follower->m_keyringPassword = answer.password;
      else
        follower->m_lacking = true;
      if (m_keyringReads > 0 && --m_keyringReads == 0) PasswordsRead();
    });
  }
}

void RunOnSitesDlg::PasswordsRead() {
  std::vector<std::size_t> lacking;
  for (const std::shared_ptr<Follower>& f : m_followers)
    if (f->m_lacking && !m_run.Row(f->m_row).Ended()) lacking.push_back(f->m_row);
  if (lacking.empty())
    StartRows();
  else
    AskPasswords(lacking);
}

void RunOnSitesDlg::AskPasswords(const std::vector<std::size_t>& rows) {
  std::vector<std::string> names;
  for (std::size_t row : rows) names.push_back(m_followers[row]->m_site.name);
  m_asking = std::make_unique<PasswordsDlg>(names, this);
  const unsigned run = m_runNumber;
  connect(m_asking.get(), &QDialog::finished, this, [this, rows, run](int result) {
    if (run != m_runNumber || !m_asking) return;
    const std::vector<std::string> typed = m_asking->Take();
    m_asking.release()->deleteLater();  // not inside its own signal
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Follower& f = *m_followers[rows[i]];
      if (result != QDialog::Accepted) {
        if (m_run.Fail(f.m_row, "no password: cancelled")) ShowRow(f.m_row);
      } else if (typed[i].empty()) {
        if (m_run.Fail(f.m_row, "no password: none was typed")) ShowRow(f.m_row);
      } else {
        m_tabs.Passwords().Set(f.m_site.name, typed[i]);  // for the program's run, in memory only
        f.m_lacking = false;
      }
    }
    StartRows();
  });
  m_asking->open();
}

void RunOnSitesDlg::StartRows() {
  m_run.Restart();
  m_deadline->start(std::chrono::duration_cast<std::chrono::milliseconds>(m_limit));
  // Every row is in the table before the first can end. Each row then finds
  // or opens its tab and starts in a turn of the event loop of its own:
  // opening a tab and starting a connect cost milliseconds, and fifty of
  // them in one go would freeze the window.
  m_toAttach.clear();
  for (const std::shared_ptr<Follower>& f : m_followers)
    if (!m_run.Row(f->m_row).Ended()) m_toAttach.push_back(f);
  AttachNext();
}

void RunOnSitesDlg::OnDeadline() {
  const auto now = SiteRun::Clock::now();
  for (std::size_t row : m_run.TimeOut(m_limit, now)) {
    ShowRow(row);
    Follower& f = *m_followers[row];
    CSiteCmdDlg* tab = f.m_observing ? f.m_tab : nullptr;
    Detach(f);
    // Whatever it waits for (a greeting, a reply) is not coming: the line goes.
    if (tab && tab->GetSession() && (tab->IsWorking() || tab->IsConnected())) tab->GetSession()->Disconnect();
  }
  // A timer may fall due a hair early: rows not yet past the limit get the rest.
  auto next = SiteRun::Clock::time_point::max();
  for (const SiteRunRow& r : m_run.Rows())
    if (!r.Ended()) next = std::min(next, r.started + m_limit);
  if (next != SiteRun::Clock::time_point::max())
    m_deadline->start(std::max<std::chrono::milliseconds>(
        std::chrono::duration_cast<std::chrono::milliseconds>(next - now), std::chrono::milliseconds(1)));
}

void RunOnSitesDlg::AttachNext() {
  // One row per turn, each turn posted by the one before, so the window's
  // own events (input, painting) come between them.
  QTimer::singleShot(0, this, [this] {
    while (!m_toAttach.empty()) {
      const std::shared_ptr<Follower> f = m_toAttach.front().lock();
      m_toAttach.pop_front();
      if (f && !f->m_stopped && !m_run.Row(f->m_row).Ended()) {
        Attach(*f);
        break;
      }
    }
    if (!m_toAttach.empty()) AttachNext();
  });
}

void RunOnSitesDlg::Attach(Follower& f) {
  if (f.m_tab && Ending(*f.m_tab)) {  // the user closed it since Run: never followed, never connected
    Fail(f, "tab closed");
    return;
  }
  CSiteCmdDlg* tab = f.m_tab ? f.m_tab : m_tabs.FindSiteTab(f.m_site.name);
  if (!tab) tab = &m_tabs.OpenSiteTab(f.m_site, true);
  f.m_tab = tab;
  tab->AddSessionObserver(f);
  f.m_observing = true;
  m_run.SetLine(f.m_row, tab->m_transcript.GetLineCount());
  Advance(f);
}

void RunOnSitesDlg::Advance(Follower& f) {
  if (!f.m_observing || m_run.Row(f.m_row).Ended()) return;
  CSiteCmdDlg& tab = *f.m_tab;
  if (Ending(tab)) {
    Fail(f, "tab closed");
    return;
  }
  if (tab.IsConnected()) {
    if (!tab.IsWorking() && !f.m_sent) Send(f);  // a busy tab gets the lines when it is idle again
    else if (m_run.Waiting(f.m_row)) ShowRow(f.m_row);
    return;
  }
  if (tab.IsWorking() || f.m_connectAsked) return;  // its login ends the wait

  // The tab's own typed password, then this run of the program's, then the keyring's.
  std::string password = tab.m_password;
  if (password.empty()) password = m_tabs.Passwords().Get(f.m_site.name).value_or(std::string());
  if (password.empty()) password = std::exchange(f.m_keyringPassword, {});
  if (password.empty()) {
    Fail(f, kNoPassword);
    return;
  }
  f.m_connectAsked = true;
  f.m_tail.Clear();
  tab.ConnectSite(f.m_site, password, true);
  if (!tab.IsWorking() && !tab.IsConnected() && f.m_observing) Fail(f, "could not start to connect");
}

void RunOnSitesDlg::AdvanceLater(const std::shared_ptr<Follower>& follower) {
  // Not inside the tab's own report of its state: the session is still telling it.
  std::weak_ptr<Follower> weak = follower;
  QTimer::singleShot(0, this, [this, weak] {
    if (const std::shared_ptr<Follower> f = weak.lock()) Advance(*f);
  });
}

void RunOnSitesDlg::Send(Follower& f) {
  CSiteCmdDlg& tab = *f.m_tab;
  m_run.SetLine(f.m_row, tab.m_transcript.GetLineCount());
  f.m_tail.Clear();
  f.m_sent = true;
  const Session::SendResult result = tab.GetSession() ? tab.GetSession()->Send(m_lines) : Session::SendResult::NotReady;
  if (result != Session::SendResult::Sent) {
    f.m_sent = false;
    Fail(f, "not sent: the tab was not ready");
    return;
  }
  if (m_run.Waiting(f.m_row)) ShowRow(f.m_row);
}

void RunOnSitesDlg::OnRowState(Follower& f, SessionState state) {
  if (!f.m_observing || m_run.Row(f.m_row).Ended()) return;
  if (state == SessionState::LoggedIn && !f.m_sent) {
    AdvanceLater(m_followers[f.m_row]);
  } else if (state == SessionState::Disconnected) {
    if (f.m_sent || m_run.Row(f.m_row).state == SiteRunState::Waiting) {
      // A run reports its own end right after this; a line that dropped while idle does not.
      std::weak_ptr<Follower> weak = m_followers[f.m_row];
      QTimer::singleShot(0, this, [this, weak] {
        if (const std::shared_ptr<Follower> follower = weak.lock()) Fail(*follower, "dropped");
      });
    } else if (!f.m_connectAsked) {
      AdvanceLater(m_followers[f.m_row]);  // the tab was closing its last connection: now ours may start
    }
  }
}

void RunOnSitesDlg::OnRowLogin(Follower& f, ControlConnection::Login result, int connectError,
                               const std::string& failure) {
  if (!f.m_observing || m_run.Row(f.m_row).Ended()) return;
  using Login = ControlConnection::Login;
  const std::string line = f.m_tail.LastLine();
  switch (result) {
    case Login::LoggedIn:
      if (m_run.Waiting(f.m_row)) ShowRow(f.m_row);
      AdvanceLater(m_followers[f.m_row]);
      return;
    case Login::Refused:
      Fail(f, "login refused: " + line, ReplyCode(line));
      return;
    case Login::ConnectFailed:
      Fail(f, "no address answered: " + Trimmed(ConnectErrorMessage(connectError)));
      return;
    case Login::TlsRefused:
      Fail(f, "TLS refused: " + failure, ReplyCode(failure));
      return;
    case Login::TlsFailed:
      Fail(f, "TLS failed: " + failure);
      return;
    case Login::CertificateRefused:
      Fail(f, "TLS failed: the server's certificate was not accepted");
      return;
    case Login::Dropped:
      Fail(f, "dropped");
      return;
    case Login::Abandoned:
      Fail(f, "connect given up");
      return;
    case Login::Unsendable:
      Fail(f, "the login or the password holds a line break");
      return;
  }
}

void RunOnSitesDlg::OnRowRunDone(Follower& f, ControlConnection::Result result) {
  if (!f.m_observing || m_run.Row(f.m_row).Ended()) return;
  if (!f.m_sent) {  // someone else's exchange has ended: ours may go now
    AdvanceLater(m_followers[f.m_row]);
    return;
  }
  if (result == ControlConnection::Result::Done) {
    if (m_run.Done(f.m_row, f.m_tail.LastLine())) ShowRow(f.m_row);
    Detach(f);
  } else {
    Fail(f, "dropped");
  }
}

void RunOnSitesDlg::Fail(Follower& f, const std::string& why, const std::string& code) {
  if (m_run.Fail(f.m_row, why, code)) ShowRow(f.m_row);
  Detach(f);
}

void RunOnSitesDlg::Detach(Follower& f) {
  f.m_keyringPassword.clear();
  if (!f.m_observing) return;
  f.m_observing = false;
  if (f.m_tab) f.m_tab->RemoveSessionObserver(f);
}

void RunOnSitesDlg::DetachAll() {
  m_toAttach.clear();
  for (const std::shared_ptr<Follower>& f : m_followers) {
    f->m_stopped = true;
    Detach(*f);
  }
}

void RunOnSitesDlg::TabClosing(CSiteCmdDlg& tab) {
  for (const std::shared_ptr<Follower>& f : m_followers) {
    if (f->m_tab != &tab) continue;
    if (m_run.Fail(f->m_row, "tab closed")) ShowRow(f->m_row);
    Detach(*f);
    f->m_tab = nullptr;
  }
}

void RunOnSitesDlg::done(int result) {
  StopRun();
  QDialog::done(result);
}

void RunOnSitesDlg::ShowRow(std::size_t row) {
  const std::vector<std::string> cells = m_run.Table()[row + 1];
  for (std::size_t column = 0; column < cells.size(); ++column) {
    QTableWidgetItem* item = m_table->item(static_cast<int>(row), static_cast<int>(column));
    if (!item) {
      item = new QTableWidgetItem;
      m_table->setItem(static_cast<int>(row), static_cast<int>(column), item);
    }
    item->setText(Q(cells[column]));
  }
}

void RunOnSitesDlg::OnRowActivated(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= m_followers.size()) return;
  Follower& f = *m_followers[static_cast<std::size_t>(row)];
  if (f.m_tab) m_tabs.ShowTab(*f.m_tab, m_run.Row(f.m_row).line);
}

void RunOnSitesDlg::Copy() { QApplication::clipboard()->setText(Q(m_run.TabSeparated())); }

void RunOnSitesDlg::Save() {
  m_chooseFile([this](const std::string& path) {
    if (path.empty()) return;
    const std::string csv = m_run.Csv();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    if (out) out.close();
    if (!out) Box("Can't save the results to " + S(QFile::decodeName(path.c_str())) + ":\n\n" + std::strerror(errno), "Run on Sites");
  });
}
