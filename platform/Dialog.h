// A modal dialog built from a template, with data exchange, timers by id and
// message boxes. Control notifications reach OnCommand(id, notification).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "DialogTemplate.h"
#include "MessageBox.h"
#include "Window.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlg) {}
  // Shows no box itself: the field that failed has already said why.
  [[noreturn]] void Fail();
  BOOL m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
};

// Thrown by CDataExchange::Fail and caught by UpdateData.
struct DataExchangeFailure : std::exception {};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Check(CDataExchange* pDX, int id, BOOL& value);
void DDX_Check(CDataExchange* pDX, int id, bool& value);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// An unsigned decimal field, read as "%u" reads it.
void DDX_Text(CDataExchange* pDX, int id, UINT& value);

// "%u" as sscanf reads it (leading white space, an optional sign, digits, and
// whatever follows ignored), except that a number which does not fit 32 bits
// unsigned, a digit string longer than ten or a negative number is an error.
bool ParseUnsigned(const std::string& text, UINT& value);

class CDialog : public CWnd {
 public:
  explicit CDialog(const DialogTemplate& tmpl);
  ~CDialog() override;

  int DoModal();
  void EndDialog(int result);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  CWnd* GetDlgItem(int id) const;
  void SetTimer(UINT id, UINT milliseconds);
  void KillTimer(UINT id);
  int MessageBox(const std::string& text, const std::string& caption = "", UINT type = MB_OK);

  // Builds the window without running it (tests drive it themselves).
  void Create();
  // Initialises and shows the window as DoModal does, without a loop of its own.
  void Start();
  bool IsEnded() const;
  // True while the dialog runs a handler; timers falling due meanwhile wait.
  bool IsInHandler() const;

  // Entry points the platform calls; each runs one handler.
  void DispatchCommand(int id, int notification);
  void DispatchTimer(UINT id);
  void DispatchClose();
  void DispatchKey(UINT nChar, UINT nRepCnt, UINT nFlags, bool isChar);

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnCommand(int /*id*/, int /*notification*/) {}
  virtual void OnTimer(UINT /*id*/) {}
  virtual void OnClose();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnKeyDown(UINT /*nChar*/, UINT /*nRepCnt*/, UINT /*nFlags*/) {}
  virtual void OnChar(UINT /*nChar*/, UINT /*nRepCnt*/, UINT /*nFlags*/) {}

 private:
  void AfterHandlers();
  void WatchEditsForExchange();
  void LeaveChangedEdits();
  friend class DialogWindow;
  friend void DDX_Text(CDataExchange*, int, UINT&);
  struct Impl;
  std::unique_ptr<Impl> d;
};
