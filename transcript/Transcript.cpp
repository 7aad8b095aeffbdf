#include "Transcript.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "CaseFold.h"

namespace {

constexpr Transcript::Pos kNone = -1;
// The line at the top that tells of a drop is advice from the program.
constexpr Transcript::Kind kMarkerKind = Transcript::Kind::Hint;
// Its hint is kept short, so the line always fits in the bytes a drop frees.
constexpr std::size_t kMaxHint = 600;

std::string WithCommas(Transcript::Pos n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Megabytes(Transcript::Pos bytes) {
  const Transcript::Pos tenths = (bytes * 10 + (Transcript::Pos{1} << 19)) >> 20;
  return WithCommas(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

}  // namespace

Transcript::Transcript() : m_index(std::time(nullptr)) {}

Transcript::~Transcript() {
  if (m_view) m_view->OnTranscriptGone();
}

Transcript::Pos Transcript::LineEnd(Pos line) const {
  if (line + 1 >= LineCount()) return m_length;
  Pos end = LineStart(line + 1);
  if (end > LineStart(line) && At(end - 1) == '\n') --end;
  if (end > LineStart(line) && At(end - 1) == '\r') --end;
  return end;
}

Transcript::Pos Transcript::LineOf(Pos pos) const {
  return m_index.LineAt(Abs(pos));
}

Transcript::Pos Transcript::LongestLine() const {
  if (!m_longestKnown) {
    m_longest = m_longestLines = 0;
    m_longestKnown = true;
    for (Pos line = FirstLine(); line + 1 < LineCount(); ++line) NoteLineLength(LineEnd(line) - LineStart(line));
  }
  return std::max(m_longest, m_length - LineStart(LineCount() - 1));
}

void Transcript::NoteLineLength(Pos length) const {
  if (length > m_longest) {
    m_longest = length;
    m_longestLines = 1;
  } else if (length == m_longest) {
    ++m_longestLines;
  }
}

// A line of the longest length went: only the last of them makes us look again.
void Transcript::ForgetLineLength(Pos length) {
  if (m_longestKnown && length == m_longest && --m_longestLines <= 0) m_longestKnown = false;
}

void Transcript::ForEachSpan(Pos from, Pos to, const std::function<void(const char*, std::size_t)>& f) const {
  from = std::clamp<Pos>(from, 0, m_length);
  to = std::clamp<Pos>(to, from, m_length);
  while (from < to) {
    const std::size_t offset = Offset(from);
    const std::size_t n = std::min<std::size_t>(kChunkSize - offset, static_cast<std::size_t>(to - from));
    f(m_chunks[Chunk(from)].get() + offset, n);
    from += static_cast<Pos>(n);
  }
}

std::string Transcript::Text(Pos from, Pos to) const {
  std::string out;
  from = std::clamp<Pos>(from, 0, m_length);
  to = std::clamp<Pos>(to, from, m_length);
  out.reserve(static_cast<std::size_t>(to - from));
  ForEachSpan(from, to, [&out](const char* data, std::size_t n) { out.append(data, n); });
  return out;
}

Transcript::Kind Transcript::KindAt(Pos pos) const {
  if (pos >= m_length) pos = m_length - 1;
  const auto it =
      std::upper_bound(m_runs.begin(), m_runs.end(), Abs(pos), [](Pos p, const Run& r) { return p < r.start; });
  return it == m_runs.begin() ? Kind::Text : std::prev(it)->kind;
}

void Transcript::ForEachRun(Pos from, Pos to, const std::function<void(Pos, Pos, Kind)>& f) const {
  from = std::clamp<Pos>(from, 0, m_length);
  to = std::clamp<Pos>(to, from, m_length);
  if (from == to) return;
  auto it = std::upper_bound(m_runs.begin(), m_runs.end(), Abs(from), [](Pos p, const Run& r) { return p < r.start; });
  Kind kind = it == m_runs.begin() ? Kind::Text : std::prev(it)->kind;
  Pos start = from;
  for (; it != m_runs.end() && it->start - m_origin < to; ++it) {
    const Pos runStart = it->start - m_origin;
    if (runStart > start) f(start, runStart, kind);
    start = std::max(start, runStart);
    kind = it->kind;
  }
  f(start, to, kind);
}

void Transcript::RunAround(Pos pos, Pos& from, Pos& to) const {
  const auto it =
      std::upper_bound(m_runs.begin(), m_runs.end(), Abs(pos), [](Pos p, const Run& r) { return p < r.start; });
  from = it == m_runs.begin() ? 0 : std::max<Pos>(0, std::prev(it)->start - m_origin);
  to = it == m_runs.end() ? m_length : it->start - m_origin;
}

void Transcript::SetSelection(Pos anchor, Pos caret) {
  m_anchor = std::clamp<Pos>(anchor, 0, m_length);
  m_caret = std::clamp<Pos>(caret, 0, m_length);
}

void Transcript::Append(std::string_view text, Kind kind, std::time_t now) {
  if (text.empty()) return;
  if (m_runs.empty() ? kind != Kind::Text : m_runs.back().kind != kind) {
    if (!m_runs.empty() && m_runs.back().start == Abs(m_length)) {
      m_runs.back().kind = kind;  // nothing was written in the old kind
    } else {
      m_runs.push_back({Abs(m_length), kind});
    }
  }
  Pos lastStart = m_index.LastStart();
  if (lastStart == Abs(m_length)) m_index.SetLastTime(now);  // the line's first byte arrives

  // Line ends are found with memchr: a CR is rare, so its search runs once
  // per CR, not once per line.
  const char before = m_length > 0 ? At(m_length - 1) : '\0';
  const char* data = text.data();
  const char* const end = data + text.size();
  const char* nextCr = static_cast<const char*>(std::memchr(data, '\r', text.size()));
  const char* nextLf = static_cast<const char*>(std::memchr(data, '\n', text.size()));
  while (nextCr || nextLf) {
    const char* p = !nextLf || (nextCr && nextCr < nextLf) ? nextCr : nextLf;
    const std::size_t i = static_cast<std::size_t>(p - data);
    const Pos next = Abs(m_length) + static_cast<Pos>(i) + 1;
    const char prev = i > 0 ? p[-1] : before;
    if (*p == '\n' && prev == '\r' && lastStart == next - 1) {
      m_index.SetStart(LineCount() - 1, next);  // CR LF ends one line
    } else {
      if (m_longestKnown) NoteLineLength(next - 1 - lastStart);
      m_index.PushBack(next, now);
    }
    lastStart = next;
    if (p == nextCr)
      nextCr = static_cast<const char*>(std::memchr(p + 1, '\r', static_cast<std::size_t>(end - p - 1)));
    else
      nextLf = static_cast<const char*>(std::memchr(p + 1, '\n', static_cast<std::size_t>(end - p - 1)));
  }

  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t offset = Offset(m_length);
    if (offset == 0 && Chunk(m_length) == m_chunks.size())
      m_chunks.push_back(std::make_shared_for_overwrite<char[]>(kChunkSize));
    const std::size_t n = std::min(kChunkSize - offset, text.size() - done);
    std::memcpy(Writable(Chunk(m_length)) + offset, data + done, n);
    done += n;
    m_length += static_cast<Pos>(n);
  }
}

// A snapshot may still read this chunk: it keeps the old one, we write a copy.
char* Transcript::Writable(std::size_t chunk) {
  std::shared_ptr<char[]>& c = m_chunks[chunk];
  if (c.use_count() > 1) {
    auto copy = std::make_shared_for_overwrite<char[]>(kChunkSize);
    std::memcpy(copy.get(), c.get(), kChunkSize);
    c = std::move(copy);
  }
  return c.get();
}

Transcript::Snapshot Transcript::Snap(Pos from, Pos to) const {
  Snapshot s;
  from = std::clamp<Pos>(from, 0, m_length);
  to = std::clamp<Pos>(to, from, m_length);
  if (from == to) return s;
  for (std::size_t c = Chunk(from); c <= Chunk(to - 1); ++c) s.m_chunks.push_back(m_chunks[c]);
  s.m_from = static_cast<Pos>(Offset(from));
  s.m_to = s.m_from + (to - from);
  return s;
}

void Transcript::Snapshot::ForEachSpan(const std::function<void(const char*, std::size_t)>& f) const {
  for (Pos at = m_from; at < m_to;) {
    const std::size_t offset = Offset(at);
    const std::size_t n = std::min<std::size_t>(kChunkSize - offset, static_cast<std::size_t>(m_to - at));
    f(m_chunks[Chunk(at)].get() + offset, n);
    at += static_cast<Pos>(n);
  }
}

void Transcript::Truncate(Pos length) {
  m_length = length;
  m_chunks.resize((static_cast<std::size_t>(Abs(length)) + kChunkSize - 1) / kChunkSize -
                  static_cast<std::size_t>(m_origin) / kChunkSize);
  while (LineCount() - FirstLine() > 1 && m_index.LastStart() > Abs(length)) m_index.PopBack();
  while (!m_runs.empty() && m_runs.back().start >= Abs(length)) m_runs.pop_back();
  m_longestKnown = false;
}

void Transcript::Replace(Pos from, Pos to, std::string_view text) {
  const std::time_t now = Now();
  if (from == m_length) {
    Append(text, m_insertKind, now);
    return;
  }
  // The rest behind the replaced stretch is taken off and put back, with its
  // kinds and the arrival times of the lines that begin in it.
  const std::string tail = Text(to, m_length);
  std::vector<Run> tailRuns;
  ForEachRun(to, m_length, [&](Pos a, Pos, Kind k) { tailRuns.push_back({a - to, k}); });
  std::vector<std::time_t> tailTimes;
  for (Pos line = LineOf(to) + 1; line < LineCount(); ++line) tailTimes.push_back(LineTime(line));

  Truncate(from);
  Append(text, m_insertKind, now);
  const Pos linesBeforeTail = LineCount();
  for (std::size_t i = 0; i < tailRuns.size(); ++i) {
    const Pos end = i + 1 < tailRuns.size() ? tailRuns[i + 1].start : static_cast<Pos>(tail.size());
    Append(std::string_view(tail).substr(static_cast<std::size_t>(tailRuns[i].start),
                                         static_cast<std::size_t>(end - tailRuns[i].start)),
           tailRuns[i].kind, now);
  }
  const std::size_t added = static_cast<std::size_t>(LineCount() - linesBeforeTail);
  const std::size_t kept = std::min(added, tailTimes.size());
  tailTimes.erase(tailTimes.begin(), tailTimes.end() - static_cast<std::ptrdiff_t>(kept));
  m_index.SetTimes(LineCount() - static_cast<Pos>(kept), tailTimes);
  m_longestKnown = false;
}

void Transcript::AppendAtEnd(std::string_view text) {
  const bool caretAtEnd = m_anchor == m_length && m_caret == m_length;
  const Pos from = m_length;
  Append(text, m_insertKind, Now());
  if (caretAtEnd) m_anchor = m_caret = m_length;
  if (m_view && m_length > from) m_view->OnAppended(from, m_length);
  DropIfOver();
}

void Transcript::ReplaceSelection(std::string_view text) {
  const Pos from = SelectionStart();
  const Pos to = SelectionEnd();
  if (from == to && text.empty()) return;
  Replace(from, to, text);
  m_anchor = m_caret = from + static_cast<Pos>(text.size());
}

void Transcript::DeleteAtCaret(bool backward) {
  Pos from = SelectionStart();
  Pos to = SelectionEnd();
  if (from == to) {
    if (backward && from > 0) --from;
    if (!backward && to < m_length) ++to;
  }
  if (from == to) return;
  Replace(from, to, {});
  m_anchor = m_caret = from;
}

void Transcript::Clear() {
  m_chunks.clear();
  m_length = 0;
  m_origin = 0;
  m_index.Reset(Now());
  m_runs.clear();
  m_longest = m_longestLines = 0;
  m_longestKnown = true;
  m_anchor = m_caret = 0;
  m_droppedBytes = m_droppedLines = m_markerLength = 0;
}

void Transcript::SetLimit(Pos bytes, std::string hint) {
  m_limit = bytes <= 0 ? 0 : std::max(bytes, kMinLimit);
  m_hint = std::move(hint);
  if (m_hint.size() > kMaxHint) m_hint.resize(kMaxHint);
  DropIfOver();
}

std::string Transcript::MarkerText(Pos bytes, Pos lines) const {
  std::string text = "Earlier text was dropped: " + Megabytes(bytes) + " in " + WithCommas(lines) +
                     (lines == 1 ? " line" : " lines") + " so far. This pane keeps the newest " +
                     Megabytes(m_limit) + " of the transcript.";
  if (!m_hint.empty()) text += " " + m_hint;
  return text + "\n";
}

// Past the limit (in bytes or in lines), down to fifteen sixteenths of it,
// so the next drop is a sixteenth of the limit away and each costs little
// per byte appended. Lines go whole; only the newest line, when it alone is
// longer than what is kept, keeps its end.
void Transcript::DropIfOver() {
  if (m_limit == 0) return;
  const Pos maxLines = m_limit / kBytesPerLine;
  if (m_length <= m_limit && LineCount() - FirstLine() <= maxLines) return;
  Pos cut = std::max<Pos>(0, m_length - (m_limit - m_limit / 16));
  Pos line = LineOf(cut);
  if (LineStart(line) < cut) {
    const bool newestWithText = line + 1 == LineCount() || LineStart(line + 1) == m_length;
    if (!newestWithText || cut >= LineEnd(line)) cut = LineStart(++line);
  }
  const Pos byLines = LineCount() - (maxLines - maxLines / 16);
  if (byLines > line) cut = LineStart(line = byLines);
  DropBefore(line, cut);
}

void Transcript::DropBefore(Pos line, Pos cut) {
  const bool midLine = cut > LineStart(line);
  const Pos lines = m_droppedLines + std::max<Pos>(0, line - FirstLine() - (m_markerLength > 0 ? 1 : 0));
  const Pos bytes = m_droppedBytes + std::max<Pos>(0, cut - m_markerLength);
  const std::string text = MarkerText(bytes, lines);
  const auto size = static_cast<Pos>(text.size());
  if (cut < size) return;  // never: a drop takes at least 4,096 lines or 64 KiB, the line is under 1 KiB
  m_droppedLines = lines;
  m_droppedBytes = bytes;
  // The new top line is noted before the old one is forgotten: it is often
  // the longest, and seldom shorter than the one before.
  if (m_longestKnown) NoteLineLength(size - 1);
  for (Pos l = FirstLine(); l < line; ++l) ForgetLineLength(LineEnd(l) - LineStart(l));
  if (midLine && line + 1 < LineCount()) {
    ForgetLineLength(LineEnd(line) - LineStart(line));
    if (m_longestKnown) NoteLineLength(LineEnd(line) - cut);
  }
  Snapshot removed;
  if (m_view) removed = Snap(0, cut);

  // The line goes into the dropped bytes just before the cut (a drop frees
  // far more than it takes), so the text behind it stays where it is.
  const Pos at = cut - size;
  for (std::size_t done = 0; done < text.size();) {
    const Pos p = at + static_cast<Pos>(done);
    const std::size_t n = std::min(kChunkSize - Offset(p), text.size() - done);
    std::memcpy(Writable(Chunk(p)) + Offset(p), text.data() + done, n);
    done += n;
  }

  const Pos cutAbs = Abs(cut);
  const Pos origin = Abs(at);
  const Kind kept = cut < m_length ? KindAt(cut) : kMarkerKind;
  m_index.DropFront(line);
  if (midLine) m_index.SetStart(line, cutAbs);
  m_index.PushFront(origin, Now());

  while (!m_runs.empty() && m_runs.front().start <= cutAbs) m_runs.pop_front();
  if (kept != kMarkerKind) m_runs.push_front({cutAbs, kept});
  m_runs.push_front({origin, kMarkerKind});

  m_chunks.erase(m_chunks.begin(), m_chunks.begin() + static_cast<std::ptrdiff_t>(
                                                          static_cast<std::size_t>(origin) / kChunkSize -
                                                          static_cast<std::size_t>(m_origin) / kChunkSize));
  // A position in the dropped text moves to the start of what is kept.
  const auto moved = [&](Pos pos) { return Abs(pos) < cutAbs ? size : Abs(pos) - origin; };
  m_anchor = moved(m_anchor);
  m_caret = moved(m_caret);
  m_length = Abs(m_length) - origin;
  m_origin = origin;
  m_markerLength = size;
  if (m_view) m_view->OnDropped(removed, size);
}

namespace {

// Horspool's search with a skip table over raw bytes; case-insensitive
// matching folds both sides with the table the rest of the program compares
// names with.
class Searcher {
 public:
  Searcher(std::string_view needle, bool matchCase) : m_fold(!matchCase), m_needle(needle) {
    if (m_fold)
      for (char& c : m_needle) c = static_cast<char>(Fold(c));
    const std::size_t n = m_needle.size();
    std::array<std::size_t, 256> folded;
    folded.fill(n);
    for (std::size_t i = 0; i + 1 < n; ++i) folded[static_cast<unsigned char>(m_needle[i])] = n - 1 - i;
    for (int b = 0; b < 256; ++b) m_skip[static_cast<std::size_t>(b)] = folded[Fold(static_cast<char>(b))];
  }

  // Offset of the first (or last) match within data..data+size, or -1.
  std::int64_t Search(const char* data, std::size_t size, bool last) const {
    const std::size_t n = m_needle.size();
    std::int64_t found = -1;
    for (std::size_t at = 0; at + n <= size;) {
      const char* p = data + at;
      if (Fold(p[n - 1]) == static_cast<unsigned char>(m_needle[n - 1]) && Equal(p, n - 1)) {
        found = static_cast<std::int64_t>(at);
        if (!last) return found;
        ++at;
        continue;
      }
      at += m_skip[static_cast<unsigned char>(p[n - 1])];
    }
    return found;
  }

 private:
  unsigned char Fold(char c) const {
    return m_fold ? text::FoldCase(static_cast<unsigned char>(c)) : static_cast<unsigned char>(c);
  }
  bool Equal(const char* p, std::size_t n) const {
    if (!m_fold) return std::memcmp(p, m_needle.data(), n) == 0;
    for (std::size_t i = 0; i < n; ++i)
      if (Fold(p[i]) != static_cast<unsigned char>(m_needle[i])) return false;
    return true;
  }

  bool m_fold;
  std::string m_needle;
  std::array<std::size_t, 256> m_skip{};
};

}  // namespace

Transcript::Pos Transcript::Find(std::string_view needle, Pos from, bool forward, bool matchCase) const {
  const Pos n = static_cast<Pos>(needle.size());
  if (n == 0 || n > m_length) return kNone;
  from = std::clamp<Pos>(from, 0, m_length);
  const Searcher searcher(needle, matchCase);
  // First or last match lying wholly within lo..end.
  const auto searchRange = [&](Pos lo, Pos end, bool last) -> Pos {
    if (end - lo < n) return kNone;
    std::string copy;
    const char* data = nullptr;
    if (Chunk(lo) == Chunk(end - 1)) {
      data = m_chunks[Chunk(lo)].get() + Offset(lo);
    } else {
      copy = Text(lo, end);
      data = copy.data();
    }
    const Pos hit = searcher.Search(data, static_cast<std::size_t>(end - lo), last);
    return hit == kNone ? kNone : lo + hit;
  };
  // Matches that start in chunk c between lo and hi: inside the chunk, or
  // across its end (only those few bytes are copied).
  // Chunk c holds the positions from c * kChunkSize - head on.
  const auto head = static_cast<Pos>(Offset(0));
  const auto chunkStart = [&](std::size_t c) { return std::max<Pos>(0, static_cast<Pos>(c * kChunkSize) - head); };
  const auto searchChunk = [&](std::size_t c, Pos lo, Pos hi, bool last) -> Pos {
    const Pos chunkEnd = std::min(chunkStart(c + 1), m_length);
    const Pos inside = searchRange(lo, std::min(chunkEnd, hi + n - 1), last);
    const Pos across = hi + n - 1 > chunkEnd
                           ? searchRange(std::max(lo, chunkEnd - n + 1), std::min(hi + n - 1, m_length), last)
                           : kNone;
    if (!last) return inside != kNone ? inside : across;
    return across != kNone ? across : inside;
  };
  if (forward) {
    for (std::size_t c = Chunk(from); c < m_chunks.size(); ++c) {
      const Pos lo = std::max(from, chunkStart(c));
      const Pos hi = std::min(chunkStart(c + 1), m_length);
      const Pos hit = searchChunk(c, lo, hi, false);
      if (hit != kNone) return hit;
    }
    return kNone;
  }
  const Pos lastStart = from - n;  // a match must end at or before `from`
  if (lastStart < 0) return kNone;
  for (std::size_t c = Chunk(lastStart) + 1; c-- > 0;) {
    const Pos lo = chunkStart(c);
    const Pos hi = std::min(chunkStart(c + 1), lastStart + 1);
    const Pos hit = searchChunk(c, lo, hi, true);
    if (hit != kNone) return hit;
  }
  return kNone;
}

void Transcript::Write(const std::function<void(const char*, std::size_t)>& out, bool withTimes,
                       const std::function<std::string(std::time_t)>& formatTime) const {
  if (!withTimes) {
    ForEachSpan(0, m_length, out);
    return;
  }
  for (Pos line = FirstLine(); line < LineCount(); ++line) {
    const Pos start = LineStart(line);
    const Pos end = line + 1 < LineCount() ? LineStart(line + 1) : m_length;
    if (start == end) continue;  // the empty line behind a final line end
    const std::string stamp = formatTime(LineTime(line));
    out(stamp.data(), stamp.size());
    ForEachSpan(start, end, out);
  }
}
