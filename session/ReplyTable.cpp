#include "ReplyTable.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace {

// A longer line is not a row of aligned columns: it bounds the masks.
constexpr std::size_t kMaxAlignedWidth = 4096;
// Title or status lines dropped at each end of aligned columns.
constexpr std::size_t kMaxTrim = 2;
// Header rows (a row with a ruling line under it) tried in one run of aligned lines.
constexpr std::size_t kMaxHeaderTries = 3;
constexpr std::size_t kTab = 8;
// More columns than this is not a table anyone reads: it bounds the cells kept.
constexpr std::size_t kMaxColumns = 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

enum class Kind : std::uint8_t { Blank, Ruling, Pipe, Text };

Kind Classify(std::string_view line) {
  line = Trim(line);
  if (line.empty()) return Kind::Blank;
  bool ruling = true, dash = false, pipe = false;
  for (const char c : line) {
    pipe = pipe || c == '|';
    if (c == '-' || c == '=')
      dash = true;
    else if (std::string_view("+.'`|: \t").find(c) == std::string_view::npos)
      ruling = false;
  }
  if (ruling && dash) return Kind::Ruling;
  if (pipe) return Kind::Pipe;
  return line.size() > kMaxAlignedWidth ? Kind::Blank : Kind::Text;
}

std::string ColumnName(std::size_t i) { return "Column " + std::to_string(i + 1); }

// Pads or names the header, then every row to its width.
ReplyTable Finish(std::vector<std::string> header, std::vector<std::vector<std::string>> rows, std::size_t width) {
  ReplyTable table;
  header.resize(width);
  for (std::size_t i = 0; i < width; ++i)
    if (header[i].empty()) header[i] = ColumnName(i);
  table.columns = std::move(header);
  for (auto& row : rows) row.resize(width);
  table.rows = std::move(rows);
  return table;
}

// ---- Rows split by "|" ----

// The cells between the bars at `bars` (offsets into line); the blank
// stretches outside the outer bars are the frame, not cells.
std::vector<std::string_view> SplitAt(std::string_view line, const std::vector<std::size_t>& bars) {
  std::vector<std::string_view> cells;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= bars.size(); ++i) {
    const std::size_t to = i < bars.size() ? bars[i] : line.size();
    const std::string_view cell = Trim(line.substr(from, to - from));
    if (!((i == 0 || i == bars.size()) && cell.empty() && !bars.empty())) cells.push_back(cell);
    from = to + 1;
  }
  return cells;
}

std::vector<std::size_t> Bars(std::string_view line) {
  std::vector<std::size_t> bars;
  for (std::size_t i = line.find('|'); i != std::string_view::npos; i = line.find('|', i + 1)) bars.push_back(i);
  return bars;
}

// What SplitAt(line, Bars(line)).size() gives, without the cells.
std::size_t CellCount(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  const std::size_t bars = static_cast<std::size_t>(std::count(trimmed.begin(), trimmed.end(), '|'));
  if (bars == 0) return 1;
  return bars + 1 - (trimmed.front() == '|' ? 1 : 0) - (trimmed.back() == '|' ? 1 : 0);
}

// A row of the table: split at the reference row's bars when the row has a
// bar at each (a "|" inside a cell then stays in it), else at its own, the
// first width - 1 of them: the rest is the last cell as it was. Either way
// the work is the row's length at most.
std::vector<std::string> PipeRow(std::string_view line, const std::vector<std::size_t>& reference, std::size_t width) {
  const bool lined = std::all_of(reference.begin(), reference.end(),
                                 [&](std::size_t at) { return at < line.size() && line[at] == '|'; });
  if (lined) {
    const std::vector<std::string_view> cells = SplitAt(line, reference);
    if (cells.size() == width) return {cells.begin(), cells.end()};
  }
  std::string_view rest = Trim(line);
  if (rest.starts_with('|')) rest.remove_prefix(1);
  if (rest.ends_with('|')) rest.remove_suffix(1);
  std::vector<std::string> row;
  for (std::size_t bar = rest.find('|'); row.size() + 1 < width && bar != std::string_view::npos;
       bar = rest.find('|')) {
    row.emplace_back(Trim(rest.substr(0, bar)));
    rest.remove_prefix(bar + 1);
  }
  row.emplace_back(Trim(rest));
  return row;
}

// lines[first, last): pipe rows and ruling lines.
std::optional<ReplyTable> PipeTable(const std::vector<std::string_view>& lines, const std::vector<Kind>& kinds,
                                    std::size_t first, std::size_t last) {
  std::vector<std::size_t> rows;  // line indices
  std::vector<std::uint32_t> counts;
  std::unordered_map<std::size_t, std::size_t> frequency;
  for (std::size_t i = first; i < last; ++i) {
    if (kinds[i] != Kind::Pipe) continue;
    rows.push_back(i);
    counts.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(CellCount(lines[i]), UINT32_MAX)));
    ++frequency[counts.back()];
  }
  std::size_t mode = 0, seen = 0;
  for (const auto& [count, times] : frequency)
    if (times > seen || (times == seen && count > mode)) std::tie(mode, seen) = std::tie(count, times);
  if (mode < 2 || seen < 2 || mode > kMaxColumns) return std::nullopt;
  std::size_t start = 0;  // the first row as wide as most (a title above is narrower), or wider within reason
  while (counts[start] < mode || counts[start] > kMaxColumns) ++start;
  std::size_t end = rows.size();
  while (end > start + 2 && counts[end - 1] == 1) --end;  // a closing line inside the frame
  const std::size_t width = counts[start];
  const std::size_t headerLine = rows[start];
  const bool header = headerLine + 1 < last && kinds[headerLine + 1] == Kind::Ruling;
  const std::vector<std::size_t> reference = Bars(lines[headerLine]);
  std::vector<std::vector<std::string>> table;
  for (std::size_t r = start + (header ? 1 : 0); r < end; ++r)
    table.push_back(PipeRow(lines[rows[r]], reference, width));
  if (table.empty()) return std::nullopt;
  return Finish(header ? PipeRow(lines[headerLine], reference, width) : std::vector<std::string>{}, std::move(table),
                width);
}

// ---- Columns that line up ----

// Calls f(position, byte) for each byte but tabs and blanks, at its position once tabs are expanded.
template <typename F>
void ForEachMark(std::string_view line, F&& f) {
  std::size_t at = 0;
  for (const char c : line) {
    if (c == '\t') {
      at = (at / kTab + 1) * kTab;
      continue;
    }
    if (!IsBlank(c)) f(at, c);
    ++at;
  }
}

struct Aligned {
  const std::vector<std::string_view>& lines;
  const std::vector<Kind>& kinds;
  std::vector<std::size_t> rows;  // line indices of the text rows of the run

  // The columns of rows[s, e) (and of the ruling lines between them that
  // show gaps of their own) as [begin, end) positions.
  std::vector<std::pair<std::size_t, std::size_t>> Columns(std::size_t s, std::size_t e) const {
    std::vector<char> mask;
    auto mark = [&](std::string_view line) {
      ForEachMark(line, [&](std::size_t at, char) {
        if (at >= mask.size()) mask.resize(at + 1, 0);
        mask[at] = 1;
      });
    };
    for (std::size_t r = s; r < e; ++r) mark(lines[rows[r]]);
    for (std::size_t i = rows[s] + 1; e > s + 1 && i < rows[e - 1]; ++i)
      if (kinds[i] == Kind::Ruling && Trim(lines[i]).find_first_of(" \t") != std::string_view::npos) mark(lines[i]);
    std::vector<std::pair<std::size_t, std::size_t>> columns;
    for (std::size_t i = 0; i < mask.size(); ++i) {
      if (!mask[i]) continue;
      if (columns.empty() || columns.back().second != i) columns.push_back({i, i});
      columns.back().second = i + 1;
    }
    return columns;
  }

  std::vector<std::string> Cut(std::string_view line,
                               const std::vector<std::pair<std::size_t, std::size_t>>& columns) const {
    std::vector<std::string> cells(columns.size());
    std::size_t column = 0, last = 0;
    ForEachMark(line, [&](std::size_t at, char c) {
      while (column + 1 < columns.size() && at >= columns[column].second) ++column;
      std::string& cell = cells[column];
      if (!cell.empty() && at > last + 1) cell.push_back(' ');
      cell.push_back(c);
      last = at;
    });
    return cells;
  }

  // How many of the columns the line has text in.
  static std::size_t Filled(std::string_view line, const std::vector<std::pair<std::size_t, std::size_t>>& columns) {
    std::size_t filled = 0, column = 0;
    ForEachMark(line, [&](std::size_t at, char) {
      if (filled > 0 && at < columns[column].second) return;
      while (column + 1 < columns.size() && at >= columns[column].second) ++column;
      ++filled;
    });
    return filled;
  }

  std::optional<ReplyTable> From(std::size_t s, bool header) const {
    std::size_t e = rows.size();
    if (e < s + 2) return std::nullopt;
    auto columns = Columns(s, e);
    // A status line below ("Command Successful.") runs across the gaps, or fills one column only.
    for (std::size_t k = 0; k < kMaxTrim && e > s + 2; ++k) {
      auto fewer = Columns(s, e - 1);
      if (fewer.size() <= columns.size() && Filled(lines[rows[e - 1]], columns) > 1) break;
      columns = std::move(fewer);
      --e;
    }
    for (std::size_t k = 0; !header && k < kMaxTrim && e > s + 2; ++k) {
      auto fewer = Columns(s + 1, e);
      if (fewer.size() <= columns.size()) break;
      columns = std::move(fewer);
      ++s;
    }
    if (columns.size() < 2 || columns.size() > kMaxColumns) return std::nullopt;
    // Two rows at least with text in two columns or more: a short line under another is not a table.
    std::size_t filled = 0;
    for (std::size_t r = s; r < e && filled < 2; ++r) filled += Filled(lines[rows[r]], columns) > 1 ? 1 : 0;
    if (filled < 2) return std::nullopt;
    std::vector<std::vector<std::string>> table;
    for (std::size_t r = s + (header ? 1 : 0); r < e; ++r) table.push_back(Cut(lines[rows[r]], columns));
    return Finish(header ? Cut(lines[rows[s]], columns) : std::vector<std::string>{}, std::move(table), columns.size());
  }
};

std::optional<ReplyTable> AlignedTable(const std::vector<std::string_view>& lines, const std::vector<Kind>& kinds,
                                       std::size_t first, std::size_t last) {
  Aligned aligned{lines, kinds, {}};
  for (std::size_t i = first; i < last; ++i)
    if (kinds[i] == Kind::Text) aligned.rows.push_back(i);
  std::size_t tries = 0;
  for (std::size_t r = 0; r < aligned.rows.size() && tries < kMaxHeaderTries; ++r) {
    const std::size_t line = aligned.rows[r];
    if (line + 1 >= last || kinds[line + 1] != Kind::Ruling) continue;
    ++tries;
    if (auto table = aligned.From(r, true)) return table;
  }
  return aligned.From(0, false);
}

}  // namespace

std::vector<std::string_view> ReplyBodies(const std::vector<std::string_view>& lines) {
  std::vector<std::string_view> bodies;
  bodies.reserve(lines.size());
  const std::string_view code = !lines.empty() && lines[0].size() >= 3 ? lines[0].substr(0, 3) : std::string_view();
  const bool digits =
      code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
  for (std::string_view line : lines) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (digits && line.starts_with(code) && (line.size() == 3 || line[3] == ' ' || line[3] == '-'))
      line.remove_prefix(std::min<std::size_t>(4, line.size()));
    bodies.push_back(line);
  }
  return bodies;
}

std::optional<ReplyTable> FindTable(const std::vector<std::string_view>& lines) {
  std::vector<Kind> kinds;
  kinds.reserve(lines.size());
  for (const std::string_view line : lines) kinds.push_back(Classify(line));
  std::optional<ReplyTable> best;
  std::size_t i = 0;
  while (i < lines.size()) {
    // A run: lines of one kind, ruling lines among them, up to a blank line or the other kind.
    const std::size_t first = i;
    Kind kind = Kind::Ruling;
    for (; i < lines.size() && kinds[i] != Kind::Blank; ++i) {
      if (kinds[i] == Kind::Ruling) continue;
      if (kind != Kind::Ruling && kinds[i] != kind) break;
      kind = kinds[i];
    }
    std::optional<ReplyTable> table;
    if (kind == Kind::Pipe) table = PipeTable(lines, kinds, first, i);
    if (kind == Kind::Text) table = AlignedTable(lines, kinds, first, i);
    if (table && (!best || table->rows.size() > best->rows.size())) best = std::move(table);
    if (i == first) ++i;  // a blank line
  }
  return best;
}

std::optional<double> CellNumber(std::string_view cell) {
  cell = Trim(cell);
  if (cell.empty()) return std::nullopt;
  // A time: m:ss or h:mm:ss.
  if (cell.find(':') != std::string_view::npos) {
    double seconds = 0;
    std::size_t parts = 0;
    while (true) {
      const std::size_t colon = cell.find(':');
      const std::string_view part = cell.substr(0, colon);
      if (part.empty() || part.size() > 9 || (parts > 0 && part.size() != 2) ||
          !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
      double value = 0;
      for (const char c : part) value = value * 10 + (c - '0');
      if (parts > 0 && value >= 60) return std::nullopt;
      seconds = seconds * 60 + value;
      ++parts;
      if (colon == std::string_view::npos) break;
      cell.remove_prefix(colon + 1);
    }
    if (parts < 2 || parts > 3) return std::nullopt;
    return seconds;
  }
  std::size_t i = 0;
  const bool negative = cell[0] == '-';
  if (cell[0] == '-' || cell[0] == '+') ++i;
  double value = 0, scale = 0;
  std::size_t digits = 0;
  for (; i < cell.size(); ++i) {
    const char c = cell[i];
    if (c >= '0' && c <= '9') {
      ++digits;
      if (scale > 0) {
        value += (c - '0') * scale;
        scale /= 10;
      } else {
        value = value * 10 + (c - '0');
      }
    } else if (c == '.' && scale == 0) {
      scale = 0.1;
    } else {
      break;
    }
  }
  if (digits == 0 || digits > 30) return std::nullopt;
  const std::string_view written = Trim(cell.substr(i));
  if (written.size() > 3) return std::nullopt;
  char upper[4] = {};
  for (std::size_t k = 0; k < written.size(); ++k)
    upper[k] = static_cast<char>(written[k] >= 'a' && written[k] <= 'z' ? written[k] - 32 : written[k]);
  const std::string_view unit(upper, written.size());
  static const std::pair<const char*, int> kUnits[] = {{"", 0},    {"%", 0},   {"B", 0},  {"K", 1},   {"KB", 1},
                                                       {"KIB", 1}, {"M", 2},   {"MB", 2}, {"MIB", 2}, {"G", 3},
                                                       {"GB", 3},  {"GIB", 3}, {"T", 4},  {"TB", 4},  {"TIB", 4}};
  const auto found = std::find_if(std::begin(kUnits), std::end(kUnits), [&](const auto& u) { return unit == u.first; });
  if (found == std::end(kUnits)) return std::nullopt;
  for (int k = 0; k < found->second; ++k) value *= 1024;
  return negative ? -value : value;
}

bool IsNumericColumn(const ReplyTable& table, std::size_t column) {
  bool any = false;
  for (const auto& row : table.rows) {
    if (column >= row.size() || Trim(row[column]).empty()) continue;
    if (!CellNumber(row[column])) return false;
    any = true;
  }
  return any;
}

namespace {
// Windows-1252 letters to lower case: ASCII and the accented capitals.
unsigned char Lower(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<unsigned char>(c + 32);
  return c;
}
}  // namespace

int CompareCells(std::string_view a, std::string_view b, bool numeric) {
  if (numeric) {
    const std::optional<double> x = CellNumber(a), y = CellNumber(b);
    if (x && y && *x != *y) return *x < *y ? -1 : 1;
    if (x.has_value() != y.has_value()) return x ? 1 : -1;
  }
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = Lower(static_cast<unsigned char>(a[i])), y = Lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}
