// A dialog of the program as a plain Qt widget, and the builder of its
// controls. Each control is made once, by one call that names its id (the
// object name "id<id>"), caption or accessible name, the field of a Qt-free
// form value it is bound to, and its handler; the dialog's own code lays
// the controls out. The dialog keeps the design's rules for handlers:
//  - leaving an edit reads the fields that changed, in the order the form
//    declares them; a number field that can't be read shows a box, takes the
//    focus back and stops the reading there (the fields after it keep their
//    values), and push buttons do nothing until it reads;
//  - a click or a selection first counts every edit changed without the focus
//    passing through it (a screen reader set its text) as left;
//  - timers that fall due while a handler runs (a box is open) wait for it,
//    and so does a close.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "MessageBox.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace platform {

class FlatButton;
class ListCombo;
class PaneWidget;

// "%u" as sscanf reads it (leading white space, an optional sign, digits, and
// whatever follows ignored), except that a number which does not fit 32 bits
// unsigned, a digit string longer than ten or a negative number is an error.
bool ParseUnsigned(const std::string& text, unsigned& value);

class Dialog : public QDialog {
 public:
  using Handler = std::function<void()>;
  // An edit's options: hidden text, digits only.
  enum EditStyle : unsigned { kPlain = 0, kPassword = 1, kDigits = 2 };

  explicit Dialog(const std::string& title);
  ~Dialog() override;

  // ---- the builder; controls are made in tab order ----
  QGroupBox* Frame(const std::string& caption);
  // A label; the edit or list made right after it takes it as its name.
  QLabel* Label(const std::string& caption, int id = -1);
  FlatButton* Button(int id, const std::string& caption, Handler clicked);
  QCheckBox* Check(int id, const std::string& caption, bool& field, Handler clicked, bool textLeft = false);
  // A text field; left runs when the focus leaves it (none: nothing runs).
  QLineEdit* Edit(int id, std::string& field, const std::string& name, unsigned style, Handler left);
  // A field of digits read as an unsigned number (ParseUnsigned).
  QLineEdit* Number(int id, unsigned& field, Handler left);
  ListCombo* List(int id, const std::string& name, bool sorted, int visibleItems, Handler selected);
  PaneWidget* Pane(int id, const std::string& name);
  // Call once all controls are made: the order of reading follows the form's.
  void FinishBuilding();
  // The smallest size, in dialog units of the dialog's font (a quarter of its
  // average character wide, an eighth of its line high), never below the
  // size those units had at the 8-point font on a 96 dpi screen, nor below
  // what the laid-out controls need; a larger font or screen gives more.
  void SetSmallestSize(int width, int height);
  QSize sizeHint() const override;
  // A control no smaller than width × height dialog units, whatever the font.
  void AtLeast(QWidget* control, int width, int height);

  QWidget* Control(int id) const;
  // A field's text as the program sets it, which need not be its value (a
  // port out of range); the next reading checks it.
  void SetText(int id, const std::string& text);

  // Changed fields into the form; false (after a box that says why) when a number field can't be read.
  bool ReadFields();
  // The form into the controls that show something else.
  void WriteFields();

  // Shows the window (or, as a page of another, activates that one) with OnInitDialog run first.
  void Start();
  void EndDialog(int result);
  bool IsEnded() const { return m_ended; }
  // Runs once the dialog has ended (after its handler returns, never inside it).
  void SetEndHandler(std::function<void()> ended) { m_endHandler = std::move(ended); }
  // The window as a page of parent (a tab): call before Start, which then neither centres nor activates it.
  void EmbedIn(QWidget* parent);
  bool IsInHandler() const { return m_handlerDepth > 0; }
  void SetTimer(unsigned id, unsigned milliseconds);
  void KillTimer(unsigned id);
  // A box over this dialog.
  int Box(const std::string& text, const std::string& caption, unsigned type);
  // The close box, Ctrl+W, the window's close: runs OnClose once no handler runs.
  void RequestClose();

 protected:
  // From the derived dialog's destructor: no handler runs from now on.
  void Shut() {
    m_ended = true;
    m_endHandler = nullptr;
  }

 protected:
  // True when the dialog should give the focus to its first control.
  virtual bool OnInitDialog();
  virtual void OnTimer(unsigned /*id*/) {}
  virtual void OnClose();
  virtual void OnCancel();
  // Keys that reach the dialog itself, as virtual-key codes and key flags.
  virtual void OnKeyDown(unsigned /*key*/, unsigned /*repeat*/, unsigned /*flags*/) {}
  virtual void OnChar(unsigned /*key*/, unsigned /*repeat*/, unsigned /*flags*/) {}

  void reject() override;
  void accept() override {}
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void UpdateSmallestSize();
  struct Field;
  enum class Event { Click, Select, Leave };
  Field& Bind(QWidget* widget, int id, const void* address);
  void Place(QWidget* w, int id, bool focusable);
  void Dispatch(int id, Event event, const Handler& handler);
  void RunHandler(const Handler& handler);
  void AfterHandlers();
  void LeaveChangedEdits();
  bool ReadNumber(Field& field);
  void Write(Field& field);

  std::vector<std::unique_ptr<Field>> m_fields;  // in the order of reading
  std::map<int, QWidget*> m_controls;
  std::map<int, Handler> m_leaveHandlers;
  std::map<unsigned, QTimer*> m_timers;
  std::set<unsigned> m_pendingTimers;
  std::set<int> m_changedEdits;  // edits whose text changed, not by the dialog itself, since the last reading
  QLabel* m_pendingLabel = nullptr;
  QWidget* m_previousFocusable = nullptr;
  int m_labelIndex = 0;
  QSize m_smallestUnits;
  std::vector<std::pair<QWidget*, QSize>> m_leastUnits;
  int m_handlerDepth = 0;
  bool m_closeRequested = false;
  bool m_failing = false;         // a field's parse error is being reported
  bool m_readingFailed = false;   // the last reading stopped at a field it couldn't read
  bool m_ended = false;
  bool m_deliveryScheduled = false;
  bool m_writing = false;  // the dialog itself sets a control
  std::function<void()> m_endHandler;
};

}  // namespace platform
