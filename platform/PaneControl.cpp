#include "PaneControl.h"

#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "internal/Cp1252.h"
#include "internal/Widgets.h"

namespace platform {

QAbstractScrollArea* PaneControl::ScrollArea() const { return m_pane; }

void PaneControl::ShowScrollBars(bool always) {
  const auto policy = always ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
  m_pane->setVerticalScrollBarPolicy(policy);
  m_pane->setHorizontalScrollBarPolicy(policy);
  m_pane->verticalScrollBar()->setEnabled(true);
  m_pane->horizontalScrollBar()->setEnabled(true);
}

void PaneControl::SetFace(const std::string& face, bool bold) { m_pane->SetDefaultFormat(face, bold); }

void PaneControl::ShowTranscript(Transcript* transcript) { m_pane->Show(transcript); }

void PaneControl::SetAppendKind(TranscriptKind kind) { m_pane->Model().SetInsertKind(kind); }

long PaneControl::GetWindowTextLength() const { return static_cast<long>(m_pane->Model().Length()); }
void PaneControl::SetSel(long start, long end) { m_pane->MoveCaret(start, end); }
void PaneControl::AppendAtEnd(const std::string& text) { m_pane->Append(text); }
// Line numbers go on across drops; past INT_MAX (2^31 lines in one window)
// they stay there, so differences of them are 0, never a wrap.
int PaneControl::GetLineCount() const {
  return static_cast<int>(std::min<Transcript::Pos>(m_pane->Model().LineCount(), INT_MAX));
}
void PaneControl::LineScroll(int lines) { m_pane->ScrollLines(lines); }

void PaneControl::AddMenuExtension(PaneMenuExtension extension) { m_pane->AddMenuExtension(std::move(extension)); }

std::string PaneControl::GetText() const { return m_pane->Model().Text(); }

palette::Colour PaneControl::GetColorAt(long position) const { return palette::Of(m_pane->Model().KindAt(position)); }

int PaneControl::GetFirstVisibleLine() const { return m_pane->FirstVisibleLine(); }

int PaneControl::GetVisibleLineCount() const { return m_pane->VisibleLines(); }

bool PaneControl::EndsWith(const std::string& text) const {
  const auto& m = m_pane->Model();
  const auto n = static_cast<long>(text.size());
  return m.Length() >= n && m.Text(m.Length() - n, m.Length()) == text;
}

bool PaneControl::SaveTranscript(const std::string& path, bool withTimes) {
  return m_pane->SaveTo(FromCp1252(path), withTimes);
}

}  // namespace platform
