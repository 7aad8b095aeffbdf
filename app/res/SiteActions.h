// The standard actions: one row each for the button's caption and the
// command it sends. The button grid and the click handler both read this
// table; it alone decides how many buttons there are.
#pragma once

#include <array>

struct SiteAction {
  const char* caption;
  const char* command;
};

// Column by column, top to bottom.
inline constexpr std::array kSiteActions{
    SiteAction{"ALUP", "SITE ALUP"},     SiteAction{"ALDN", "SITE ALDN"},     SiteAction{"WKUP", "SITE WKUP"},
    SiteAction{"WKDN", "SITE WKDN"},     SiteAction{"DAYUP", "SITE DAYUP"},   SiteAction{"DAYDN", "SITE DAYDN"},
    SiteAction{"NEW", "SITE NEW"},       SiteAction{"WHO", "SITE WHO"},       SiteAction{"SWHO", "SITE SWHO"},
    SiteAction{"LASTON", "SITE LASTON"}, SiteAction{"LOGINS", "SITE LOGINS"}, SiteAction{"TRAFFIC", "SITE TRAFFIC"},
    SiteAction{"USERS", "SITE USERS"},   SiteAction{"GROUPS", "SITE GROUPS"}, SiteAction{"STAT", "SITE STAT"},
    SiteAction{"STATS", "SITE STATS"},   SiteAction{"VERS", "SITE VERS"},     SiteAction{"IDLE", "SITE IDLE"},
};
// The grid's columns; the rows follow from the table's length.
inline constexpr std::size_t kSiteActionColumns = 3;
