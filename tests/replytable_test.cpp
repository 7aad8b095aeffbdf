// Tables found in replies, and how their cells sort.
#include "ReplyTable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// "columns/row/row", cells parted by ";"; "none" without a table.
std::string Shape(std::string_view reply) {
  const std::optional<ReplyTable> table = FindTable(ReplyBodies(Lines(reply)));
  if (!table) return "none";
  std::string shape;
  auto add = [&](const std::vector<std::string>& cells) {
    if (!shape.empty()) shape += '/';
    for (std::size_t i = 0; i < cells.size(); ++i) shape += (i ? ";" : "") + cells[i];
    if (cells.size() != table->columns.size()) shape += "<ragged>";
  };
  add(table->columns);
  for (const auto& row : table->rows) add(row);
  return shape;
}

TEST(ReplyTable, FindsTheTableOfEachReplyShape) {
  struct Case {
    const char* reply;
    const char* shape;
  };
  const Case cases[] = {
      {"200- .------------------------------------------------.\n"
       "200- | User       | Group    | Ratio | Up (MB) | Idle   |\n"
       "200- |------------+----------+-------+---------+--------|\n"
       "200- | alice      | staff    | 1:3   |  10240  | 0:01   |\n"
       "200- | bob        | friends  | 0     |    512  | 12:40  |\n"
       "200- `------------------------------------------------'\n"
       "200 Command Successful.",
       "User;Group;Ratio;Up (MB);Idle/alice;staff;1:3;10240;0:01/bob;friends;0;512;12:40"},
      // Aligned under a header with a ruling: the title and the status line stay out.
      {"200- Users online:\n"
       "200- User    Group     Up (MB)  Idle\n"
       "200- ------  -------   -------  -----\n"
       "200- alice   staff       10240  0:01\n"
       "200- bob     friends       512  12:40\n"
       "200 Command Successful.",
       "User;Group;Up (MB);Idle/alice;staff;10240;0:01/bob;friends;512;12:40"},
      {"211-alice  staff   3\r\n211-bob    friends 12\r\n211 End.",
       "Column 1;Column 2;Column 3/alice;staff;3/bob;friends;12"},
      {"name\tsize\nfoo\t12 KB\nbar\t3 MB", "Column 1;Column 2/name;size/foo;12 KB/bar;3 MB"},
      {"caf\xE9  \x81x\nbob   yy", "Column 1;Column 2/caf\xE9;\x81x/bob;yy"},
      // A "|" inside a cell of a framed table stays in the cell; without a frame, in the last one.
      {"| a     | b |\n|-------|---|\n| p|q   | z |\n| r     | s |", "a;b/p|q;z/r;s"},
      {"a | b\nx | y\np | q | z", "Column 1;Column 2/a;b/x;y/p;q | z"},
      {"| A | B | C |\n|---|---|---|\n| 1 | 2 |\n| 3 | 4 |", "A;B;C/1;2;/3;4;"},
      {"|a|b|c|\n|d|e|\n|f|g|h|\n| 3 rows |", "Column 1;Column 2;Column 3/a;b;c/d;e;/f;g;h"},
      {"| Title |\n+---+---+\n| x | y |\n+---+---+\n| 1 | 2 |", "x;y/1;2"},
      // The larger of two tables.
      {"a  b\nc  d\n\n|1|2|\n|3|4|\n|5|6|", "Column 1;Column 2/1;2/3;4/5;6"},
      {"| only | one row |", "none"},
      {"200- .-----------.\n200- `-----------'\n200 OK", "none"},
      {"", "none"},
      {"\n\n\n", "none"},
      {"Hello there\nGeneral Kenobi", "none"},
      {"200-caf\xE9 \x81\n200 b", "none"},
      {"| framed |\n| lines |", "none"},
  };
  for (const Case& c : cases) EXPECT_EQ(Shape(c.reply), c.shape) << c.reply;
}

TEST(ReplyTable, BadInputEndsWithoutACrashAndLargeTablesWhole) {
  std::string wide;
  for (int i = 0; i < (5 << 20); ++i) wide += "a|";
  EXPECT_EQ(Shape(wide + "\n" + wide), "none");  // 5 million columns: none
  EXPECT_EQ(Shape(std::string(10 << 20, 'x') + "\n" + std::string(10 << 20, ' ')), "none");
  const std::string bars = "|a|b|\n|c|d|\n|e|" + std::string(10 << 20, '|');
  const std::optional<ReplyTable> barred = FindTable(Lines(bars));  // a row of 10 million bars: in one cell
  ASSERT_TRUE(barred);
  EXPECT_EQ(barred->rows.back()[0], "e");
  EXPECT_EQ(barred->rows.back()[1].size(), (10u << 20) - 1);

  std::string big = "| user | bytes |\n|---|---|\n";
  for (int i = 0; i < 100000; ++i) big += "| u" + std::to_string(i) + " | " + std::to_string(i) + " |\n";
  const std::optional<ReplyTable> table = FindTable(Lines(big));
  ASSERT_TRUE(table);
  EXPECT_EQ(table->rows.size(), 100000u);
  EXPECT_EQ(table->rows.back(), (std::vector<std::string>{"u99999", "99999"}));

  std::mt19937 random(27);
  const std::string alphabet = "||  --+=.'`\tab1:\xE9\r";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = random() % 12; n > 0; --n) {
      for (int k = random() % 24; k > 0; --k) text += alphabet[random() % alphabet.size()];
      text += '\n';
    }
    if (const auto found = FindTable(ReplyBodies(Lines(text)))) {
      ASSERT_GE(found->columns.size(), 2u) << text;
      for (const auto& row : found->rows) ASSERT_EQ(row.size(), found->columns.size()) << text;
    }
  }
}

TEST(ReplyTable, CellsSortAsNumbersSizesTimesOrText) {
  const char* ascending[] = {"", "-3", "0", "512", "2 KB", "1MB", "1.5 gib", "1 Tb"};
  for (std::size_t i = 1; i < std::size(ascending); ++i) {
    EXPECT_LT(CompareCells(ascending[i - 1], ascending[i], true), 0) << ascending[i];
    EXPECT_GT(CompareCells(ascending[i], ascending[i - 1], true), 0) << ascending[i];
  }
  EXPECT_LT(CompareCells("0:01", "12:40", true), 0);
  EXPECT_LT(CompareCells("12:40", "1:00:00", true), 0);
  EXPECT_LT(CompareCells("1 KiB", "1025", true), 0);
  EXPECT_GT(CompareCells("1 KiB", "1023", true), 0);
  EXPECT_LT(CompareCells("512", "10240", true), 0);
  EXPECT_GT(CompareCells("512", "10240", false), 0);
  EXPECT_LT(CompareCells("alice", "Bob", false), 0);
  EXPECT_LT(CompareCells("\xC9t\xE9", "\xE9z", false), 0);
  for (const char* text : {"1:3", "12:60", "1.2.3", "5 apples", "--1", ":"}) EXPECT_FALSE(CellNumber(text)) << text;

  const ReplyTable table{{"User", "Ratio", "Up", "Idle"},
                         {{"alice", "1:3", "10 MB", "0:01"}, {"bob", "0", "", "12:40"}, {"carol", "2", "7", ""}}};
  const bool numeric[] = {false, false, true, true};
  for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(IsNumericColumn(table, c), numeric[c]) << c;
}

}  // namespace
