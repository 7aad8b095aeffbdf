// The tables of a run's rows as one, with a first column "Site", so that
// one user's figures can be read, sorted and filtered on every site at once.
#pragma once

#include <string>
#include <vector>

#include "ReplyTable.h"

class SessionOwner;
class SiteRunner;

struct SiteTable {
  std::string site;
  std::string command;  // the one whose reply held the table
  ReplyTable table;
};

// For each done row, the last of its replies that holds a table, as its
// session's log shows it now; a row whose session has gone, or whose
// replies hold none, gives none.
std::vector<SiteTable> RunTables(const SiteRunner& runner, const SessionOwner& owner);
// Whether RunTables would give one at least; each reply is taken apart once.
bool HasRunTable(const SiteRunner& runner, const SessionOwner& owner);

// "Site", then the columns of all the tables by name, in the order first
// met (a name a table has twice makes two columns); a cell whose table
// lacks its column is empty.
ReplyTable JoinSiteTables(const std::vector<SiteTable>& tables);
