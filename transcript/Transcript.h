// A session's transcript, which the output pane shows: Windows-1252 bytes in
// fixed-size chunks, an index of line starts and arrival times (LineIndex),
// runs of one kind of text (login, command, notice...); the view colours the
// kinds.
// Appending at the end costs time in proportion to the text appended and
// never copies what is already there, so replies of millions of lines stay
// cheap; the view reads only the lines it shows.
//
// Lines end at LF, at CR, and once at CR LF, as the landed rich-edit pane
// counted them; a CR at the end of one append and an LF at the start of the
// next still make one line end.
//
// With a limit set, the transcript keeps only the newest text: once an append
// takes it past the limit, the oldest lines go whole, a sixteenth of the
// limit at a time, and one line at the top says what went. Positions count
// from the start of the text held (that line's start); lines keep the numbers
// they got when they came, so a line number noted before a drop still names
// the same line after it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LineIndex.h"
#include "TranscriptKind.h"

class Transcript {
 public:
  using Kind = TranscriptKind;
  using Pos = std::int64_t;
  using Clock = std::function<std::time_t()>;

  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;
  // The smallest limit: a drop always frees room for its line at the top.
  static constexpr Pos kMinLimit = Pos{1} << 20;
  // A limit of N bytes also keeps at most N / 16 lines, so a flood of empty
  // lines is bounded too (the index costs about 4 bytes a line).
  static constexpr Pos kBytesPerLine = 16;

  class Snapshot;

  // Whoever shows the transcript: told of each append at the end, whoever
  // made it, and of the transcript's end, so it never reads one that is gone.
  class View {
   public:
    virtual void OnAppended(Pos from, Pos to) = 0;
    // The oldest text went: `removed` holds what was at 0.. before (still
    // readable here), and the line saying so now takes 0..marker; every
    // other position moved by marker - removed.Length().
    virtual void OnDropped(const Snapshot& removed, Pos marker) = 0;
    virtual void OnTranscriptGone() = 0;

   protected:
    ~View() = default;
  };

  Transcript();
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // One view at a time; null for none.
  void SetView(View* view) { m_view = view; }

  // Tests set a clock of their own; the default is the system's.
  void SetClock(Clock clock) { m_clock = std::move(clock); }

  // Keeps about the newest `bytes` (at least kMinLimit); 0 keeps everything.
  // `hint` ends the line that tells of a drop: where to raise the limit.
  void SetLimit(Pos bytes, std::string hint = {});
  Pos Limit() const { return m_limit; }
  // What drops took away in all (bytes of text and whole lines), their own
  // lines at the top not counted.
  Pos DroppedBytes() const { return m_droppedBytes; }
  Pos DroppedLines() const { return m_droppedLines; }

  Pos Length() const { return m_length; }
  // The lines held are FirstLine() to LineCount() - 1; FirstLine() is 0
  // until something is dropped, then the line that says so.
  Pos FirstLine() const { return m_index.First(); }
  Pos LineCount() const { return m_index.End(); }
  Pos LineStart(Pos line) const { return m_index.Start(line) - m_origin; }
  // Where the line's text ends, before its CR, LF or CR LF.
  Pos LineEnd(Pos line) const;
  Pos LineOf(Pos pos) const;
  std::time_t LineTime(Pos line) const { return m_index.Time(line); }
  // Length of the longest line, terminator excluded.
  Pos LongestLine() const;

  char At(Pos pos) const { return m_chunks[Chunk(pos)][Offset(pos)]; }
  std::string Text(Pos from, Pos to) const;
  std::string Text() const { return Text(0, m_length); }
  // Calls `f(data, size)` for the bytes from..to, chunk piece by chunk piece.
  void ForEachSpan(Pos from, Pos to, const std::function<void(const char*, std::size_t)>& f) const;

  // The bytes from..to as they are now, kept alive and unchanged whatever
  // happens to the transcript later; taking one copies no text.
  class Snapshot {
   public:
    Snapshot() = default;
    Pos Length() const { return m_to - m_from; }
    void ForEachSpan(const std::function<void(const char*, std::size_t)>& f) const;

   private:
    friend class Transcript;
    static std::size_t Chunk(Pos at) { return static_cast<std::size_t>(at) / kChunkSize; }
    static std::size_t Offset(Pos at) { return static_cast<std::size_t>(at) % kChunkSize; }
    std::vector<std::shared_ptr<const char[]>> m_chunks;  // from the chunk holding m_from on
    Pos m_from = 0;                                       // relative to the first chunk's start
    Pos m_to = 0;
  };
  Snapshot Snap(Pos from, Pos to) const;

  // Kind of the byte at `pos`; past the end, of the last byte. Text that no
  // kind was chosen for is Kind::Text.
  Kind KindAt(Pos pos) const;
  // Calls `f(from, to, kind)` for each stretch of one kind within from..to.
  void ForEachRun(Pos from, Pos to, const std::function<void(Pos, Pos, Kind)>& f) const;
  // The stretch of one kind that holds `pos`.
  void RunAround(Pos pos, Pos& from, Pos& to) const;

  // The caret and selection; positions are clamped into the text.
  Pos Anchor() const { return m_anchor; }
  Pos Caret() const { return m_caret; }
  Pos SelectionStart() const { return std::min(m_anchor, m_caret); }
  Pos SelectionEnd() const { return std::max(m_anchor, m_caret); }
  void SetSelection(Pos anchor, Pos caret);
  Kind InsertKind() const { return m_insertKind; }
  // A reply goes on in the kind of the exchange it answers, so choosing
  // Kind::Reply keeps the insert kind as it is.
  void SetInsertKind(Kind kind) {
    if (kind != Kind::Reply) m_insertKind = kind;
  }

  // Adds `text` at the end in the insert kind, wherever the caret is: what
  // arrives from the server never lands inside the text or replaces a
  // selection. A selection stays as it is; a caret at the end with nothing
  // selected stays at the end, as a text control's insertion point does.
  void AppendAtEnd(std::string_view text);
  // The user's edit: replaces the selection with `text` in the insert
  // kind, as a text control types in the format of what came last; the caret ends behind it.
  void ReplaceSelection(std::string_view text);
  // Removes the selection, or the byte before (backward) or after the caret.
  void DeleteAtCaret(bool backward);
  void Clear();

  // First match at or after `from` (forward) or last match that ends at or
  // before `from` (backward); -1 when there is none. Case-insensitive
  // matching folds the code page's letters.
  Pos Find(std::string_view needle, Pos from, bool forward, bool matchCase) const;

  // The whole text, each line led by its arrival time as "HH:MM:SS " when
  // `withTimes`; `formatTime` gives those nine bytes.
  void Write(const std::function<void(const char*, std::size_t)>& out, bool withTimes,
             const std::function<std::string(std::time_t)>& formatTime) const;

 private:
  struct Run {
    Pos start;
    Kind kind;
  };

  // Positions inside are absolute: counted from the first byte ever
  // appended (since the last Clear), so a drop moves nothing but m_origin.
  Pos Abs(Pos pos) const { return pos + m_origin; }
  std::size_t Chunk(Pos pos) const {
    return static_cast<std::size_t>(Abs(pos)) / kChunkSize - static_cast<std::size_t>(m_origin) / kChunkSize;
  }
  static std::size_t Offset(Pos pos, Pos origin) { return static_cast<std::size_t>(pos + origin) % kChunkSize; }
  std::size_t Offset(Pos pos) const { return Offset(pos, m_origin); }
  std::time_t Now() const { return m_clock ? m_clock() : std::time(nullptr); }

  void Append(std::string_view text, Kind kind, std::time_t now);
  char* Writable(std::size_t chunk);
  void Truncate(Pos length);
  void Replace(Pos from, Pos to, std::string_view text);
  void NoteLineLength(Pos length) const;
  void ForgetLineLength(Pos length);
  void DropIfOver();
  void DropBefore(Pos line, Pos cut);
  std::string MarkerText(Pos bytes, Pos lines) const;

  // Shared with snapshots; a chunk a snapshot holds is copied before it is
  // written. A vector: read on every byte looked at, taken from its front
  // only once per drop.
  std::vector<std::shared_ptr<char[]>> m_chunks;
  Pos m_length = 0;
  Pos m_origin = 0;  // absolute position of the first byte held
  // Line starts are absolute. It and the runs grow without ever being copied
  // whole (which would hold the window for tens of milliseconds); a drop
  // takes from their front.
  LineIndex m_index;
  std::deque<Run> m_runs;  // absolute starts
  // Of the lines before the last one: the longest length, and how many lines
  // have it, so a drop only looks again when it took the last of them.
  mutable Pos m_longest = 0;
  mutable Pos m_longestLines = 0;
  mutable bool m_longestKnown = true;
  Pos m_limit = 0;
  std::string m_hint;
  Pos m_droppedBytes = 0;
  Pos m_droppedLines = 0;
  Pos m_markerLength = 0;  // of the line at the top that tells of drops; 0 while none
  Kind m_insertKind = Kind::Text;
  Pos m_anchor = 0;
  Pos m_caret = 0;
  Clock m_clock;
  View* m_view = nullptr;
};
