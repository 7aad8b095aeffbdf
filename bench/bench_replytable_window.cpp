// Opening the Reply Table window on a reply of N rows (100,000 by default),
// offscreen, as "Show as Table" does: the reply's lines read from the
// transcript and taken apart, the window built, shown and painted once.
// Prints the best and the median of several openings (target < 1 s), and
// a sort by a numeric column and a filter on the open window.
//
//   bench_replytable_window [--rows 100000] [--runs 5]
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ReplyIndex.h"
#include "ReplyTableWindow.h"

namespace {

// The transcript of one SITE USERS whose reply is a framed table of rows rows.
void FillTranscript(Transcript& log, ReplyIndex& index, int rows) {
  log.AppendAtEnd("\n>SITE USERS\n");
  const Transcript::Pos replyLine = log.LineCount() - 1;
  std::string text = "200- | User | Group | Ratio | Up | Idle |\n200- |------+-------+-------+----+------|\n";
  char line[160];
  for (int i = 0; i < rows; ++i) {
    std::snprintf(line, sizeof line, "200- | u%07d | grp%02d | 1:3 | %d.%d GB | %d:%02d |\n", i, i % 37,
                  (i * 7919) % 5000, i % 10, i % 90, i % 60);
    text += line;
  }
  text += "200 Command Successful.\n";
  log.AppendAtEnd(text);
  Exchange exchange;
  exchange.id = 1;
  exchange.command = "SITE USERS";
  exchange.reply = {200, true, static_cast<std::size_t>(rows) + 3, "200 Command Successful."};
  index.Add(exchange, replyLine);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rows = 100000, runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--rows")) rows = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Transcript log;
  ReplyIndex index;
  FillTranscript(log, index, rows);

  std::vector<double> parse, open, sort, filter;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer clock;
    clock.start();
    const ReplyIndex::Entry* entry = index.At(log, log.LineCount() - 3);
    std::optional<ReplyTable> table = entry ? index.Table(log, *entry) : std::nullopt;
    if (!table || table->rows.size() != static_cast<std::size_t>(rows)) {
      std::fprintf(stderr, "no table of %d rows\n", rows);
      return 1;
    }
    parse.push_back(clock.nsecsElapsed() / 1e6);
    {
      ReplyTableWindow window(std::move(*table), "SITE USERS", "demo");
      window.show();
      window.repaint();
      QApplication::processEvents();
      open.push_back(clock.nsecsElapsed() / 1e6);

      auto* view = window.findChild<QTableView*>();
      clock.restart();
      view->sortByColumn(3, Qt::AscendingOrder);
      view->repaint();
      sort.push_back(clock.nsecsElapsed() / 1e6);
      clock.restart();
      window.findChild<QLineEdit*>()->setText(QStringLiteral("grp1"));
      view->repaint();
      filter.push_back(clock.nsecsElapsed() / 1e6);
    }
    QApplication::processEvents();
  }
  std::printf("Reply Table on %d rows, %d openings (ms, best / median):\n", rows, runs);
  std::printf("  read and take apart the reply   %7.1f / %7.1f\n", *std::min_element(parse.begin(), parse.end()), Median(parse));
  std::printf("  open: that, built, shown, drawn %7.1f / %7.1f   (target < 1000)\n",
              *std::min_element(open.begin(), open.end()), Median(open));
  std::printf("  sort by a size column           %7.1f / %7.1f\n", *std::min_element(sort.begin(), sort.end()), Median(sort));
  std::printf("  filter \"grp1\"                   %7.1f / %7.1f\n", *std::min_element(filter.begin(), filter.end()),
              Median(filter));
  return 0;
}
