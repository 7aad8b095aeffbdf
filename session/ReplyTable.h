// A table drawn as text inside one reply, found and taken apart so it can be
// sorted, filtered and saved. Two kinds count: rows split by "|" (framed or
// not), and plain columns that line up. Ruling lines and frames are skipped;
// a title above and a status line below are not part of the table. Work is
// linear in the reply's size, whatever the reply holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ReplyTable {
  std::vector<std::string> columns;            // the header's cells, else "Column 1" ... "Column n"
  std::vector<std::vector<std::string>> rows;  // each as wide as columns, cells trimmed
};

// The reply's lines without their code prefix ("200-", "200 "): a line that
// starts with the first line's code and a blank or "-" loses those four
// bytes (a bare code, all three); other lines, and a trailing CR, are kept
// as they are but for the CR.
std::vector<std::string_view> ReplyBodies(const std::vector<std::string_view>& lines);

// The largest table among the lines (the first of equal ones); nothing when
// no two rows share a column structure of two columns or more.
std::optional<ReplyTable> FindTable(const std::vector<std::string_view>& lines);

// A cell as a number for sorting: a plain number, a size with a unit (KB,
// MB, GB, TB, KiB-style, any letter case, blank or not; K = 1024 bytes), a
// percentage, or a time m:ss or h:mm:ss (in seconds: an idle time grows
// from 12:40 to 1:00:00).
std::optional<double> CellNumber(std::string_view cell);
// Whether a column sorts as numbers: every non-empty cell is one, and one at least.
bool IsNumericColumn(const ReplyTable& table, std::size_t column);
// Below, equal to, or above zero as a sorts before, with, or after b:
// numerically (empty and unreadable cells first) or as text ignoring case.
int CompareCells(std::string_view a, std::string_view b, bool numeric);
