// The eighteen standard actions: one row each for the button's id, its
// caption and the command it sends. The template and the click handler both
// read this table.
#pragma once

#include <array>

#include "resource.h"

struct SiteAction {
  int id;
  const char* caption;
  const char* command;
};

// Column by column, top to bottom, as the ids run.
inline constexpr std::array<SiteAction, 18> kSiteActions{{
    {IDC_SITE_FIRST + 0, "ALUP", "SITE ALUP"},
    {IDC_SITE_FIRST + 1, "ALDN", "SITE ALDN"},
    {IDC_SITE_FIRST + 2, "WKUP", "SITE WKUP"},
    {IDC_SITE_FIRST + 3, "WKDN", "SITE WKDN"},
    {IDC_SITE_FIRST + 4, "DAYUP", "SITE DAYUP"},
    {IDC_SITE_FIRST + 5, "DAYDN", "SITE DAYDN"},
    {IDC_SITE_FIRST + 6, "NEW", "SITE NEW"},
    {IDC_SITE_FIRST + 7, "WHO", "SITE WHO"},
    {IDC_SITE_FIRST + 8, "SWHO", "SITE SWHO"},
    {IDC_SITE_FIRST + 9, "LASTON", "SITE LASTON"},
    {IDC_SITE_FIRST + 10, "LOGINS", "SITE LOGINS"},
    {IDC_SITE_FIRST + 11, "TRAFFIC", "SITE TRAFFIC"},
    {IDC_SITE_FIRST + 12, "USERS", "SITE USERS"},
    {IDC_SITE_FIRST + 13, "GROUPS", "SITE GROUPS"},
    {IDC_SITE_FIRST + 14, "STAT", "SITE STAT"},
    {IDC_SITE_FIRST + 15, "STATS", "SITE STATS"},
    {IDC_SITE_FIRST + 16, "VERS", "SITE VERS"},
    {IDC_SITE_FIRST + 17, "IDLE", "SITE IDLE"},
}};
static_assert(kSiteActions.back().id == IDC_SITE_LAST);
