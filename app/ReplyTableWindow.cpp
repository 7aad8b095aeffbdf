#include "ReplyTableWindow.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "CaseFold.h"
#include "SaveFile.h"
#include "SiteRun.h"
#include "Text.h"

namespace {
QString Q(const std::string& text) { return platform::FromCp1252(text); }
std::string S(const QString& text) { return platform::ToCp1252(text); }

// Whether cell holds needle (already folded), any letter case.
bool Holds(std::string_view cell, std::string_view needle) {
  if (needle.size() > cell.size()) return false;
  for (std::size_t at = 0; at + needle.size() <= cell.size(); ++at) {
    std::size_t i = 0;
    while (i < needle.size() && text::FoldCase(static_cast<unsigned char>(cell[at + i])) ==
                                    static_cast<unsigned char>(needle[i]))
      ++i;
    if (i == needle.size()) return true;
  }
  return false;
}
}  // namespace

// The cells as the reply gave them; what the view shows is an order of
// them (the sort) less the rows the filter leaves out. A numeric column's
// numbers are read once, when the window opens, not at every comparison.
class ReplyTableModel : public QAbstractTableModel {
 public:
  ReplyTableModel(ReplyTable table, QObject* parent) : QAbstractTableModel(parent), m_table(std::move(table)) {
    const std::size_t rows = m_table.rows.size();
    m_numbers.resize(m_table.columns.size());
    for (std::size_t column = 0; column < m_table.columns.size(); ++column) {
      std::vector<double> numbers(rows, std::nan(""));
      bool numeric = true, any = false;
      for (std::size_t row = 0; row < rows && numeric; ++row) {
        const std::string& cell = m_table.rows[row][column];
        if (cell.empty()) continue;
        const std::optional<double> number = CellNumber(cell);
        numeric = number.has_value();
        if (number) numbers[row] = *number;
        any = true;
      }
      if (numeric && any) m_numbers[column] = std::move(numbers);
    }
    m_order.resize(rows);
    std::iota(m_order.begin(), m_order.end(), std::size_t{0});
    m_shown = m_order;
  }

  const ReplyTable& Table() const { return m_table; }
  bool Numeric(std::size_t column) const { return column < m_numbers.size() && !m_numbers[column].empty(); }
  std::size_t Shown() const { return m_shown.size(); }
  const std::vector<std::string>& ShownRow(std::size_t i) const { return m_table.rows[m_shown[i]]; }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_table.columns.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_shown.size()) return {};
    const auto column = static_cast<std::size_t>(index.column());
    if (role == Qt::DisplayRole) return Q(m_table.rows[m_shown[static_cast<std::size_t>(index.row())]][column]);
    if (role == Qt::TextAlignmentRole)
      return QVariant::fromValue(Qt::AlignVCenter | (Numeric(column) ? Qt::AlignRight : Qt::AlignLeft));
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<std::size_t>(section) >= m_table.columns.size())
      return QAbstractTableModel::headerData(section, orientation, role);
    return Q(m_table.columns[static_cast<std::size_t>(section)]);
  }

  // Numbers as numbers (empty and unreadable cells first, equal ones by
  // their text), everything else as text ignoring case: CompareCells'
  // order. Ties keep the reply's order, whichever way. A column of -1 is
  // the reply's order.
  void sort(int column, Qt::SortOrder order) override {
    beginResetModel();
    std::iota(m_order.begin(), m_order.end(), std::size_t{0});
    if (column >= 0 && static_cast<std::size_t>(column) < m_table.columns.size()) {
      const auto c = static_cast<std::size_t>(column);
      const std::vector<double>* numbers = Numeric(c) ? &m_numbers[c] : nullptr;
      auto compare = [&](std::size_t a, std::size_t b) {
        if (numbers) {
          const double x = (*numbers)[a], y = (*numbers)[b];
          const bool hasX = !std::isnan(x), hasY = !std::isnan(y);
          if (hasX && hasY && x != y) return x < y ? -1 : 1;
          if (hasX != hasY) return hasX ? 1 : -1;
        }
        return CompareCells(m_table.rows[a][c], m_table.rows[b][c], false);
      };
      if (order == Qt::AscendingOrder)
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) { return compare(a, b) < 0; });
      else
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) { return compare(a, b) > 0; });
    }
    Refilter();
    endResetModel();
  }

  // Rows holding text in any cell, any letter case; empty: every row.
  void SetFilter(const std::string& text) {
    beginResetModel();
    m_needle.clear();
    for (const char c : text) m_needle.push_back(static_cast<char>(text::FoldCase(static_cast<unsigned char>(c))));
    Refilter();
    endResetModel();
  }

 private:
  void Refilter() {
    if (m_needle.empty()) {
      m_shown = m_order;
      return;
    }
    m_shown.clear();
    for (const std::size_t row : m_order) {
      const std::vector<std::string>& cells = m_table.rows[row];
      if (std::any_of(cells.begin(), cells.end(), [&](const std::string& cell) { return Holds(cell, m_needle); }))
        m_shown.push_back(row);
    }
  }

  ReplyTable m_table;
  std::vector<std::vector<double>> m_numbers;  // per column: its numbers (NaN: empty), or empty when it is text
  std::vector<std::size_t> m_order;            // every row, sorted
  std::vector<std::size_t> m_shown;            // the rows the filter leaves, sorted
  std::string m_needle;                        // the filter, folded
};

ReplyTableWindow::ReplyTableWindow(ReplyTable table, const std::string& command, const std::string& site,
                                   QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Reply Table"));
  setModal(false);
  m_chooseFile = [this](std::function<void(const std::string&)> chosen) {
    ChooseFileToSave(this, QStringLiteral("table.csv"), QStringLiteral("Save table"), std::move(chosen));
  };

  auto* layout = new QVBoxLayout(this);
  // Plain labels: a screen reader reads each as it is shown.
  for (const QString& text : {QStringLiteral("Command: ") + Q(command), QStringLiteral("Site: ") + Q(site)}) {
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(label);
  }

  auto* filterRow = new QHBoxLayout;
  auto* filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
  m_filter = new QLineEdit(this);
  m_filter->setAccessibleName(QStringLiteral("Filter"));
  m_filter->setClearButtonEnabled(true);
  filterLabel->setBuddy(m_filter);
  m_count = new QLabel(this);
  filterRow->addWidget(filterLabel);
  filterRow->addWidget(m_filter, 1);
  filterRow->addWidget(m_count);
  layout->addLayout(filterRow);

  m_model = new ReplyTableModel(std::move(table), this);
  m_view = new QTableView(this);
  m_view->setAccessibleName(QStringLiteral("Rows"));
  m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_view->setWordWrap(false);
  m_view->verticalHeader()->hide();
  // Every row as high as the first: a long table costs nothing to lay out.
  m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
  m_view->setModel(m_model);
  // Opens in the reply's order; a click on a header sorts, a second reverses.
  m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  m_view->setSortingEnabled(true);
  m_view->horizontalHeader()->setResizeContentsPrecision(200);
  m_view->resizeColumnsToContents();
  layout->addWidget(m_view, 1);

  auto* buttons = new QHBoxLayout;
  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  copy->setAccessibleName(QStringLiteral("Copy"));
  copy->setToolTip(QStringLiteral("The rows shown, tab-separated, for a spreadsheet"));
  auto* save = new QPushButton(QStringLiteral("Save\u2026"), this);
  save->setAccessibleName(QStringLiteral("Save"));
  save->setToolTip(QStringLiteral("The rows shown, as CSV"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setAccessibleName(QStringLiteral("Close"));
  buttons->addWidget(copy);
  buttons->addWidget(save);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  // Enter in the filter copies nothing: no button is the default.
  for (QPushButton* button : {copy, save, close}) button->setAutoDefault(false);

  connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
    m_model->SetFilter(S(text));
    ShowCount();
  });
  connect(copy, &QPushButton::clicked, this, [this] { Copy(); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  ShowCount();
  // As wide as the columns need, within reason.
  const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
  const int wanted = m_view->horizontalHeader()->length() + 2 * m_view->frameWidth() +
                     m_view->verticalScrollBar()->sizeHint().width() + margins;
  resize(std::clamp(wanted, 480, 1000), 520);
}

ReplyTableWindow::~ReplyTableWindow() = default;

ReplyTableWindow* ReplyTableWindow::Open(ReplyTable table, const std::string& command, const std::string& site,
                                         QWidget* owner) {
  auto* window = new ReplyTableWindow(std::move(table), command, site, owner ? owner->window() : nullptr);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void ReplyTableWindow::ShowCount() {
  const std::size_t all = m_model->Table().rows.size(), shown = m_model->Shown();
  m_count->setText(shown == all ? QStringLiteral("%1 rows").arg(all) : QStringLiteral("%1 of %2 rows").arg(shown).arg(all));
}

std::string ReplyTableWindow::Rows(void (*append)(std::string&, const std::vector<std::string>&),
                                   const char* end) const {
  std::string text;
  append(text, m_model->Table().columns);
  text += end;
  for (std::size_t i = 0; i < m_model->Shown(); ++i) {
    append(text, m_model->ShownRow(i));
    text += end;
  }
  return text;
}

std::string ReplyTableWindow::TabSeparated() const { return Rows(AppendTsvFields, "\n"); }
std::string ReplyTableWindow::Csv() const { return Rows(AppendCsvFields, "\r\n"); }

void ReplyTableWindow::Copy() { QApplication::clipboard()->setText(Q(TabSeparated())); }

void ReplyTableWindow::Save() {
  m_chooseFile([this](const std::string& path) {
    if (!path.empty()) SaveWhole(this, path, Csv(), "the table", "Reply Table");
  });
}
