#include "MainDialog.h"

#include <QAbstractScrollArea>
#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "Controls.h"
#include "SiteActions.h"
#include "SiteCmdDlg.h"
#include "resource.h"

namespace {

using Handler = platform::Dialog::Handler;

// The smallest window, in dialog units of its 8-point font: the size the
// dialog always had.
constexpr int kSmallestWidth = 514;
constexpr int kSmallestHeight = 341;

// A frame with its controls: the group box and the controls' layout share one
// cell, so the controls stay the dialog's own children (as a screen reader
// has always found them) and lie above the frame.
QGridLayout* Framed(QGroupBox* frame, QLayout* inner) {
  auto* cell = new QGridLayout;
  cell->setContentsMargins(0, 0, 0, 0);
  cell->addWidget(frame, 0, 0);
  cell->addLayout(inner, 0, 0);
  const int title = frame->fontMetrics().height();
  inner->setContentsMargins(8, title + 4, 8, 6);
  return cell;
}

// A label above its field.
QVBoxLayout* Above(QWidget* label, QWidget* field) {
  auto* column = new QVBoxLayout;
  column->setSpacing(1);
  label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  column->addWidget(label);
  column->addWidget(field);
  return column;
}

}  // namespace

void BuildMainDialog(CSiteCmdDlg& d) {
  MainForm& f = d.m_form;
  // Leaving an edit takes the changed fields into the form.
  const Handler leave = [&d] { d.OnEditKillFocus(); };
  using platform::Dialog;

  // Frames first, so every control lies above them.
  QGroupBox* connection = d.Frame("Connection");
  QGroupBox* standard = d.Frame("standard actions");
  QGroupBox* antiIdle = d.Frame("anti idle");
  QGroupBox* raw = d.Frame("raw command");
  QGroupBox* user = d.Frame("user actions");

  QLabel* serverLabel = d.Label("server:");
  QLineEdit* host = d.Edit(IDC_HOST, f.host, "", Dialog::kPlain, leave);
  QLabel* portLabel = d.Label("Port");
  QLineEdit* port = d.Number(IDC_PORT, f.port, leave);
  QCheckBox* passive = d.Check(IDC_PASSIVE, "Passive", f.passive, [&d] { d.OnPassiveCheck(); }, true);
  passive->hide();
  passive->setEnabled(false);
  QCheckBox* tls = d.Check(IDC_TLS, "TLS", f.tls, [&d] { d.OnTlsCheck(); });
  QLabel* loginLabel = d.Label("login:");
  QLineEdit* login = d.Edit(IDC_LOGIN, f.login, "", Dialog::kPlain, leave);
  QLabel* passwordLabel = d.Label("password:");
  QLineEdit* password = d.Edit(IDC_PASSWORD, f.password, "", Dialog::kPassword, leave);
  d.m_connectButton = d.Button(IDC_CONNECT, "Connect", [&d] { d.OnConnect(); });

  // The site actions: column by column in the table's order, tabbed row by row.
  auto* actions = new QGridLayout;
  actions->setSpacing(3);
  constexpr std::size_t columns = kSiteActionColumns;
  constexpr std::size_t rows = (kSiteActions.size() + columns - 1) / columns;
  for (std::size_t row = 0; row < rows; ++row)
    for (std::size_t col = 0; col < columns; ++col) {
      const std::size_t index = col * rows + row;
      if (index >= kSiteActions.size()) continue;
      QPushButton* b = d.Button(IDC_SITE_FIRST + static_cast<int>(index), kSiteActions[index].caption,
                                [&d, index] { d.OnSiteAction(index); });
      d.AtLeast(b, 44, 12);
      actions->addWidget(b, static_cast<int>(row), static_cast<int>(col));
    }
  actions->setRowStretch(static_cast<int>(rows), 1);  // the buttons stay together at the top

  auto* arguments = new QGridLayout;
  arguments->setVerticalSpacing(2);
  static const char* const argumentNames[usercommands::kArgumentCount] = {
      "Argument 1", "Argument 2", "Argument 3", "Argument 4", "Argument 5",
      "Argument 6", "Argument 7", "Argument 8", "Argument 9"};
  auto argumentRow = [&](int n) {
    // Empty until a command that uses the argument names it.
    QLabel* label = d.Label("", IDC_PARAM_LABEL_FIRST + n);
    // The first four arguments take the fields in when left; the last five do not.
    QLineEdit* field = d.Edit(IDC_PARAM_FIRST + n, f.params[static_cast<std::size_t>(n)], argumentNames[n],
                              Dialog::kPlain, n < 4 ? leave : Handler());
    field->setEnabled(false);
    arguments->addWidget(label, n + 1, 0, Qt::AlignVCenter);
    arguments->addWidget(field, n + 1, 1);
  };

  d.m_commandList = d.List(IDC_COMMAND, "command", false, 8, [&d] { d.OnCommandSelChange(); });
  for (int n = 0; n < 4; ++n) argumentRow(n);
  QPushButton* executeUser = d.Button(IDC_EXECUTE_USER, "Execute", [&d] { d.OnExecuteUser(); });
  QPushButton* reset = d.Button(IDC_RESET_PARAMS, "Reset", [&d] { d.OnResetParams(); });
  QCheckBox* resetOnChange =
      d.Check(IDC_RESET_ON_CHANGE, "Reset on change", f.resetOnChange, [&d] { d.OnResetOnChangeCheck(); }, true);
  QCheckBox* antiIdleCheck =
      d.Check(IDC_ANTI_IDLE, "enable anti idle command", f.antiIdle, [&d] { d.OnAntiIdleCheck(); });
  QLabel* commandLabel = d.Label("Command:");
  QLineEdit* antiIdleCommand = d.Edit(IDC_ANTI_IDLE_COMMAND, f.antiIdleCommand, "", Dialog::kPlain, leave);
  QLabel* intervalLabel = d.Label("send every n seconds:");
  QLineEdit* interval = d.Number(IDC_ANTI_IDLE_INTERVAL, f.antiIdleInterval, leave);
  QLineEdit* rawCommand = d.Edit(IDC_RAW_COMMAND, f.rawCommand, "raw command", Dialog::kPlain, leave);
  QCheckBox* autoSite = d.Check(IDC_AUTO_SITE, "auto add SITE pref.", f.autoSite, [&d] { d.OnAutoSiteCheck(); });
  QPushButton* executeRaw = d.Button(IDC_EXECUTE_RAW, "Execute", [&d] { d.OnExecuteRaw(); });
  QLabel* historyLabel = d.Label("history:");
  d.m_historyList = d.List(IDC_HISTORY, "", true, 11, [&d] { d.OnHistorySelChange(); });
  d.m_groupList = d.List(IDC_GROUP, "group", false, 8, [&d] { d.OnGroupSelChange(); });
  for (int n = 4; n < usercommands::kArgumentCount; ++n) argumentRow(n);
  d.m_transcript.Attach(d.Pane(IDC_OUTPUT, "output"));
  QPushButton* ok = d.Button(IDC_OK, "OK", {});
  ok->hide();
  ok->setEnabled(false);
  d.FinishBuilding();

  // Push buttons at least as large as they always were.
  d.AtLeast(d.m_connectButton, 43, 22);
  d.AtLeast(executeRaw, 48, 13);
  d.AtLeast(reset, 44, 13);
  d.AtLeast(executeUser, 45, 13);

  // ---- the layout ----
  auto* connectionRows = new QVBoxLayout;
  auto* first = new QHBoxLayout;
  first->addLayout(Above(serverLabel, host), 3);
  first->addLayout(Above(portLabel, port), 1);
  first->addWidget(tls, 0, Qt::AlignBottom);
  first->addWidget(d.m_connectButton, 0, Qt::AlignBottom);
  auto* second = new QHBoxLayout;
  second->addLayout(Above(loginLabel, login), 2);
  second->addLayout(Above(passwordLabel, password), 2);
  second->addLayout(Above(historyLabel, d.m_historyList), 4);
  connectionRows->addLayout(first);
  connectionRows->addLayout(second);

  auto* antiIdleRows = new QGridLayout;
  antiIdleRows->setVerticalSpacing(2);
  antiIdleRows->addWidget(antiIdleCheck, 0, 0, 1, 2);
  antiIdleRows->addWidget(commandLabel, 1, 0, Qt::AlignVCenter);
  antiIdleRows->addWidget(antiIdleCommand, 1, 1);
  antiIdleRows->addWidget(intervalLabel, 2, 0, Qt::AlignVCenter);
  antiIdleRows->addWidget(interval, 2, 1);

  auto* rawRows = new QVBoxLayout;
  rawRows->setSpacing(2);
  rawRows->addWidget(rawCommand);
  auto* rawButtons = new QHBoxLayout;
  rawButtons->addWidget(autoSite);
  rawButtons->addStretch(1);
  rawButtons->addWidget(executeRaw);
  rawRows->addLayout(rawButtons);

  arguments->addWidget(d.m_groupList, 0, 0);
  arguments->addWidget(d.m_commandList, 0, 1);
  auto* userButtons = new QHBoxLayout;
  userButtons->addWidget(resetOnChange);
  userButtons->addStretch(1);
  userButtons->addWidget(reset);
  userButtons->addWidget(executeUser);
  arguments->addLayout(userButtons, usercommands::kArgumentCount + 1, 0, 1, 2);
  arguments->setColumnStretch(1, 1);
  arguments->setRowStretch(usercommands::kArgumentCount + 1, 1);

  auto* middle = new QVBoxLayout;
  antiIdleRows->setColumnStretch(1, 1);
  middle->addLayout(Framed(antiIdle, antiIdleRows));
  middle->addLayout(Framed(raw, rawRows));
  auto* lower = new QHBoxLayout;
  lower->addLayout(Framed(standard, actions));
  lower->addLayout(middle, 1);
  auto* left = new QVBoxLayout;
  left->addLayout(Framed(connection, connectionRows));
  left->addLayout(lower, 1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 3);
  top->addLayout(Framed(user, arguments), 2);

  auto* root = new QVBoxLayout(&d);
  root->setContentsMargins(10, 10, 10, 10);
  root->setSpacing(6);
  root->addLayout(top);
  root->addWidget(d.m_transcript.ScrollArea(), 1);
  d.SetSmallestSize(kSmallestWidth, kSmallestHeight);
}
