// The output pane as the dialog's code uses it: a view of a transcript model
// (the session's), each piece of text of one kind and coloured by the pane's
// palette. The widget draws only what is in view, so long replies cost no
// more to show than short ones.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "KindColours.h"
#include "PaneMenu.h"
#include "TranscriptKind.h"

class QAbstractScrollArea;
class Transcript;

namespace platform {

// How much of a transcript the user keeps ([pane] maxMegabytes), and the
// words that end the line telling of a drop.
long long ReadTranscriptLimit(std::string& hint);

class PaneWidget;

class PaneControl {
 public:
  void Attach(PaneWidget* pane) { m_pane = pane; }
  // The widget, for layouts and benchmarks.
  QAbstractScrollArea* ScrollArea() const;

  void ShowScrollBars(bool always);
  void SetFace(const std::string& face, bool bold);
  // Shows `transcript` (which outlives the pane, or tells it when it goes);
  // null shows an empty one. What anyone appends to it shows up here.
  void ShowTranscript(Transcript* transcript);
  // The kind of what is appended next (a reply keeps the kind before it).
  void SetAppendKind(TranscriptKind kind);
  long GetWindowTextLength() const;
  void SetSel(long start, long end);  // positions past the end mean the end
  // Adds `text` at the end in the kind SetAppendKind chose; it never writes
  // at the caret, so a caret or selection the user (or a screen reader) set
  // stays where it is.
  void AppendAtEnd(const std::string& text);
  // The number behind the last line: lines keep their numbers when older ones are dropped.
  int GetLineCount() const;
  void LineScroll(int lines);
  void AddMenuExtension(PaneMenuExtension extension);

  // Reading back, for tests and tools.
  std::string GetText() const;
  palette::Colour GetColorAt(long position) const;  // the palette's colour of the kind there
  int GetFirstVisibleLine() const;
  int GetVisibleLineCount() const;
  bool EndsWith(const std::string& text) const;  // without copying the whole text

  // Writes the transcript (Windows-1252, line ends as they are) atomically;
  // a failure is shown in a box and the file keeps its old content.
  bool SaveTranscript(const std::string& path, bool withTimes);

 private:
  PaneWidget* m_pane = nullptr;
};

}  // namespace platform
