#include "SiteTables.h"

#include <map>
#include <utility>

#include "SessionOwner.h"
#include "SiteRunner.h"

namespace {
// Each done row's session and its replies' entries, newest first, until see says stop.
template <class See>
void ForEachDoneReply(const SiteRunner& runner, const SessionOwner& owner, See&& see) {
  const std::vector<SiteRunRow>& rows = runner.Run().Rows();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    if (rows[row].state != SiteRunState::Done) continue;
    const Session* session = owner.Find(runner.SessionOf(row));
    if (!session) continue;
    const auto& exchanges = rows[row].exchanges;
    for (auto e = exchanges.rbegin(); e != exchanges.rend(); ++e)
      if (const ReplyIndex::Entry* entry = session->Replies().Find(session->Log(), e->id))
        if (see(rows[row], *session, *entry)) break;
  }
}
}  // namespace

std::vector<SiteTable> RunTables(const SiteRunner& runner, const SessionOwner& owner) {
  std::vector<SiteTable> tables;
  ForEachDoneReply(runner, owner, [&](const SiteRunRow& row, const Session& s, const ReplyIndex::Entry& entry) {
    if (entry.table == 0) return false;  // looked at before: none
    std::optional<ReplyTable> table = s.Replies().Table(s.Log(), entry);
    if (table) tables.push_back({row.site, entry.command, std::move(*table)});
    return table.has_value();
  });
  return tables;
}

bool HasRunTable(const SiteRunner& runner, const SessionOwner& owner) {
  bool any = false;
  ForEachDoneReply(runner, owner, [&](const SiteRunRow&, const Session& s, const ReplyIndex::Entry& entry) {
    const bool has = s.Replies().HasTable(s.Log(), entry);
    any = any || has;
    return has;
  });
  return any;
}

ReplyTable JoinSiteTables(const std::vector<SiteTable>& tables) {
  ReplyTable joined;
  joined.columns.push_back("Site");
  std::map<std::pair<std::string, std::size_t>, std::size_t> where;  // (name, its n-th time in a table) -> column
  for (const SiteTable& t : tables) {
    std::map<std::string, std::size_t> seen;
    std::vector<std::size_t> to;
    for (const std::string& name : t.table.columns) {
      const auto key = std::make_pair(name, seen[name]++);
      auto found = where.find(key);
      if (found == where.end()) {
        found = where.emplace(key, joined.columns.size()).first;
        joined.columns.push_back(name);
      }
      to.push_back(found->second);
    }
    for (const auto& row : t.table.rows) {
      std::vector<std::string> cells(1, t.site);
      for (std::size_t i = 0; i < row.size() && i < to.size(); ++i) {
        if (cells.size() <= to[i]) cells.resize(to[i] + 1);
        cells[to[i]] = row[i];
      }
      joined.rows.push_back(std::move(cells));
    }
  }
  for (auto& row : joined.rows) row.resize(joined.columns.size());
  return joined;
}
