// Thin window wrappers in the style the dialog logic is written in. A CWnd
// refers to a window it does not own; the dialog owns the real widgets.
#pragma once

#include <string>

#include "Types.h"

struct WindowHandle;  // opaque; the platform's widget
using HWND = WindowHandle*;

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  bool IsWindowVisible() const;
  void ShowWindow(bool show);
  void SetFocus();

  HWND m_hWnd = nullptr;
};

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int check);
};

class CEdit : public CWnd {
 public:
  // Selects characters start..end; (0, -1) selects all.
  void SetSel(int start, int end);
};

class CComboBox : public CWnd {
 public:
  int GetCount() const;
  int GetCurSel() const;                                 // -1 when nothing is selected
  int SetCurSel(int index);                              // -1 clears the selection
  int AddString(const std::string& text);                // sorted place in a sorted list
  int InsertString(int index, const std::string& text);  // -1 appends; never sorts
  int DeleteString(int index);                           // remaining count, or CB_ERR
  int SelectString(int startAfter, const std::string& prefix);
  std::string GetLBText(int index) const;
  // The same GetLBText with MFC's out-parameter shape.
  void GetLBText(int index, std::string& text) const { text = GetLBText(index); }
};
