// A modal dialog built from a template, with timers by id and message boxes.
// Each control's row in the template says what member it is bound to and
// which handler its notification runs.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "DialogTemplate.h"
#include "MessageBox.h"
#include "Window.h"

class CDialog;

// "%u" as sscanf reads it (leading white space, an optional sign, digits, and
// whatever follows ignored), except that a number which does not fit 32 bits
// unsigned, a digit string longer than ten or a negative number is an error.
bool ParseUnsigned(const std::string& text, unsigned& value);

class CDialog : public CWnd {
 public:
  explicit CDialog(const DialogTemplate& tmpl);
  ~CDialog() override;

  int DoModal();
  void EndDialog(int result);
  // Controls into their bound members; false (after a box that says why)
  // when a number field can't be read: the members from that field on keep
  // their values.
  bool ReadFields();
  // Bound members into their controls.
  void WriteFields();
  CWnd* GetDlgItem(int id) const;
  void SetTimer(unsigned id, unsigned milliseconds);
  void KillTimer(unsigned id);
  int MessageBox(const std::string& text, const std::string& caption = "", unsigned type = MB_OK);

  // Builds the window without running it (tests drive it themselves).
  void Create();
  // Initialises and shows the window as DoModal does, without a loop of its own.
  void Start();
  bool IsEnded() const;
  // Runs once the dialog has ended (after its handler returns, never inside it).
  void SetEndHandler(std::function<void()> ended);
  // The window as a page of parent (a tab) instead of a window of its own:
  // call before Start, which then neither centres nor activates it.
  void EmbedIn(HWND parent);
  // True while the dialog runs a handler; timers falling due meanwhile wait.
  bool IsInHandler() const;

  // Entry points the platform calls; each runs one handler.
  void DispatchCommand(int id, int notification);
  void DispatchTimer(unsigned id);
  void DispatchClose();
  void DispatchKey(unsigned key, unsigned repeat, unsigned flags, bool isChar);

 protected:
  // True when the dialog should give the focus to its first control.
  virtual bool OnInitDialog();
  virtual void OnTimer(unsigned /*id*/) {}
  virtual void OnClose();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnKeyDown(unsigned /*key*/, unsigned /*repeat*/, unsigned /*flags*/) {}
  virtual void OnChar(unsigned /*key*/, unsigned /*repeat*/, unsigned /*flags*/) {}

 private:
  void AfterHandlers();
  void WatchEditsForExchange();
  void LeaveChangedEdits();
  friend class DialogWindow;
  bool ExchangeFields(bool read);
  bool ReadNumber(int id, unsigned& value);
  void RunHandler(int id, int notification);
  struct Impl;
  std::unique_ptr<Impl> d;
};
