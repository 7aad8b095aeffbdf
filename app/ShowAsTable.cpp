#include "ShowAsTable.h"

#include <QPushButton>
#include <QWidget>

#include "ReplyTableWindow.h"
#include "SiteCmdDlg.h"
#include "SiteTables.h"

namespace {
const char kNoReply[] = "No reply in this tab holds a table.";

// The site as the tab names it, else the address typed.
std::string SiteOf(const CSiteCmdDlg& tab) {
  std::string site = tab.TabTitle();
  return site.empty() ? tab.m_form.host : site;
}
}  // namespace

void AddShowAsTable(CSiteCmdDlg& tab) {
  tab.m_transcript.AddMenuExtension([&tab](long long caretLine) {
    PaneMenuItem item;
    item.text = "Show as Ta&ble";
    item.enabled = false;
    item.toolTip = kNoReply;
    const Session* session = tab.GetSession();
    if (!session) return std::vector<PaneMenuItem>{item};
    const ReplyIndex& replies = session->Replies();
    const ReplyIndex::Entry* entry = replies.At(session->Log(), caretLine);
    if (entry && !replies.HasTable(session->Log(), *entry)) {
      item.toolTip = "The reply to " + entry->command + " holds no table.";
      return std::vector<PaneMenuItem>{item};
    }
    if (!entry) entry = replies.LastWithTable(session->Log());
    if (!entry) return std::vector<PaneMenuItem>{item};
    item.enabled = true;
    item.toolTip = "The table in the reply to " + entry->command;
    item.run = [&tab, exchange = entry->exchange] {
      const Session* s = tab.GetSession();
      const ReplyIndex::Entry* e = s ? s->Replies().Find(s->Log(), exchange) : nullptr;
      if (!e) return;
      if (std::optional<ReplyTable> table = s->Replies().Table(s->Log(), *e))
        ReplyTableWindow::Open(std::move(*table), e->command, SiteOf(tab), &tab);
    };
    return std::vector<PaneMenuItem>{item};
  });
}

namespace {
const char kNoRunTable[] = "No site's reply holds a table.";
}  // namespace

QPushButton* MakeRunTableButton(QWidget* parent, const SiteRunner& runner, SessionOwner& owner) {
  auto* button = new QPushButton(QStringLiteral("Show as Table"), parent);
  button->setAccessibleName(QStringLiteral("Show as Table"));
  UpdateRunTableButton(*button, runner, owner);
  QObject::connect(button, &QPushButton::clicked, button, [button, &runner, &owner] {
    std::vector<SiteTable> tables = RunTables(runner, owner);
    if (tables.empty()) return;
    std::string sites;
    for (const SiteTable& t : tables) sites += (sites.empty() ? "" : ", ") + t.site;
    const std::string command = tables.front().command;
    ReplyTableWindow::Open(JoinSiteTables(tables), command, sites, button);
  });
  return button;
}

void UpdateRunTableButton(QPushButton& button, const SiteRunner& runner, const SessionOwner& owner) {
  const bool any = HasRunTable(runner, owner);
  button.setEnabled(any);
  button.setToolTip(any ? QStringLiteral("The tables of the sites' replies as one, with a column \"Site\"")
                        : QString::fromLatin1(kNoRunTable));
}
