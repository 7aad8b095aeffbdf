// Where each line of a transcript starts and when it came, kept small: a
// reply of a million lines costs 4 bytes a line here, not 16.
//
// Starts are kept in blocks of kBlockLines lines, each a 64-bit base and a
// 32-bit offset per line; a block whose lines span more than 4 GiB keeps
// 64-bit starts instead. A block is the lines whose numbers share
// line / kBlockLines, so finding a line's start is two lookups and a drop
// from the front frees whole blocks. Arrival times are kept once per
// change: lines that came in the same second share one entry.
//
// Line numbers are those of the transcript (they may start below 0 after
// a drop puts its line at the top); starts are absolute positions and
// never decrease from one line to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <vector>

class LineIndex {
 public:
  using Pos = std::int64_t;
  static constexpr Pos kBlockLines = 1024;

  // One line, starting at 0.
  explicit LineIndex(std::time_t time) { Reset(time); }
  void Reset(std::time_t time);

  Pos First() const { return m_first; }
  Pos End() const { return m_end; }  // one past the last line
  Pos Start(Pos line) const {
    const Block& b = m_blocks[static_cast<std::size_t>(BlockOf(line) - m_firstBlock)];
    const auto slot = static_cast<std::size_t>(line - BlockOf(line) * kBlockLines);
    return b.wide ? b.wide[slot] : b.base + b.narrow[slot];
  }
  Pos LastStart() const { return Start(m_end - 1); }
  std::time_t Time(Pos line) const;
  // The last line starting at or before `pos`; First() - 1 when none does.
  Pos LineAt(Pos pos) const;

  // `line` is one of First()..End() - 1; the starts stay in order.
  void SetStart(Pos line, Pos start);
  void PushBack(Pos start, std::time_t time) {
    // Most lines land in the last block, narrow, in the same second as the one before.
    if (BlockOf(m_end) == m_tailBlock && m_tail && start >= m_tailBase && start - m_tailBase <= kMaxOffset &&
        time == m_lastTime) {
      m_tail[static_cast<std::size_t>(m_end & (kBlockLines - 1))] = static_cast<std::uint32_t>(start - m_tailBase);
      ++m_end;
      return;
    }
    PushBackSlowly(start, time);
  }
  void PopBack();  // leaves at least one line
  void SetLastTime(std::time_t time);
  // Lines before `line` go.
  void DropFront(Pos line);
  // A new line First() - 1.
  void PushFront(Pos start, std::time_t time);
  // Lines from..End() - 1 take `times`, one each in order.
  void SetTimes(Pos from, const std::vector<std::time_t>& times);

 private:
  struct Block {
    Pos base = 0;
    std::unique_ptr<std::uint32_t[]> narrow;
    std::unique_ptr<Pos[]> wide;  // instead of narrow once its lines span 4 GiB
  };
  struct TimeRun {
    Pos line;  // the first line that came at this time
    std::time_t time;
  };

  static constexpr Pos kMaxOffset = 0xFFFFFFFF;
  static Pos BlockOf(Pos line) { return line >> 10; }  // floor(line / kBlockLines), below 0 too
  static_assert(kBlockLines == Pos{1} << 10);
  void PushBackSlowly(Pos start, std::time_t time);
  void Put(Pos line, Pos start);
  void Refill(Pos block, Pos line, Pos start);
  void NoteTail();

  std::deque<Block> m_blocks;
  Pos m_firstBlock = 0;  // number of m_blocks.front()
  Pos m_first = 0;
  Pos m_end = 0;
  std::deque<TimeRun> m_times;  // by line; the first covers m_first
  // The last block and time, for PushBack's quick way; NoteTail() after
  // every other change.
  Pos m_tailBlock = 0;
  Pos m_tailBase = 0;
  std::uint32_t* m_tail = nullptr;  // null while the last block is wide
  std::time_t m_lastTime = 0;
};
