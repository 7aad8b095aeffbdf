// "Reply Table": the table found in a reply (or in several sites' replies,
// joined), to sort by any column, filter, copy to a spreadsheet and save as
// CSV. The window keeps its own copy of the cells: the session and its
// transcript may go while it is open.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "ReplyTable.h"

class QLabel;
class QLineEdit;
class QTableView;
class ReplyTableModel;

// A dialog that blocks nothing, so a screen reader names it as one.
class ReplyTableWindow : public QDialog {
 public:
  // Asks for a file to save to and calls chosen with its path; not at all when cancelled.
  using FileChooser = std::function<void(std::function<void(const std::string& path)> chosen)>;

  // command and site are shown above the table as they are (Windows-1252).
  ReplyTableWindow(ReplyTable table, const std::string& command, const std::string& site, QWidget* parent = nullptr);
  ~ReplyTableWindow() override;

  // A window of its own over owner (it goes when owner goes), shown, and deleted when closed.
  static ReplyTableWindow* Open(ReplyTable table, const std::string& command, const std::string& site,
                                QWidget* owner);

  void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

  // The header and the rows shown, in the order shown: tab-separated
  // ("\n" after each row) and CSV ("\r\n"), both safe to open in a spreadsheet.
  std::string TabSeparated() const;
  std::string Csv() const;
  // The buttons' work.
  void Copy();
  void Save();

 private:
  void ShowCount();
  // The header and the rows shown, each written by append and ended by end.
  std::string Rows(void (*append)(std::string&, const std::vector<std::string>&), const char* end) const;

  ReplyTableModel* m_model = nullptr;  // owned by the window as its Qt parent
  QTableView* m_view = nullptr;
  QLineEdit* m_filter = nullptr;
  QLabel* m_count = nullptr;
  FileChooser m_chooseFile;
};
