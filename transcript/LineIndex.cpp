#include "LineIndex.h"

#include <algorithm>

void LineIndex::Reset(std::time_t time) {
  m_blocks.clear();
  m_times.clear();
  m_firstBlock = 0;
  m_first = m_end = 0;
  PushBackSlowly(0, time);
}

void LineIndex::NoteTail() {
  Block& b = m_blocks.back();
  m_tailBlock = m_firstBlock + static_cast<Pos>(m_blocks.size()) - 1;
  m_tailBase = b.base;
  m_tail = b.wide ? nullptr : b.narrow.get();
  m_lastTime = m_times.back().time;
}

std::time_t LineIndex::Time(Pos line) const {
  const auto it =
      std::upper_bound(m_times.begin(), m_times.end(), line, [](Pos l, const TimeRun& r) { return l < r.line; });
  return it == m_times.begin() ? m_times.front().time : std::prev(it)->time;
}

LineIndex::Pos LineIndex::LineAt(Pos pos) const {
  Pos lo = m_first;  // the first line starting after pos lies in lo..hi
  Pos hi = m_end;
  while (lo < hi) {
    const Pos mid = lo + (hi - lo) / 2;
    if (Start(mid) <= pos)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo - 1;
}

// Writes a start into its block, which holds lines First()..End() - 1 of it.
void LineIndex::Put(Pos line, Pos start) {
  const Pos block = BlockOf(line);
  Block& b = m_blocks[static_cast<std::size_t>(block - m_firstBlock)];
  const auto slot = static_cast<std::size_t>(line - block * kBlockLines);
  if (b.wide) {
    b.wide[slot] = start;
  } else if (start >= b.base && start - b.base <= kMaxOffset) {
    b.narrow[slot] = static_cast<std::uint32_t>(start - b.base);
  } else {
    Refill(block, line, start);
  }
}

// The start does not fit the block's base: the block takes the smallest
// start it holds as its base, and 64-bit starts when its lines span 4 GiB.
void LineIndex::Refill(Pos block, Pos line, Pos start) {
  Block& b = m_blocks[static_cast<std::size_t>(block - m_firstBlock)];
  const Pos from = std::max(m_first, block * kBlockLines);
  const Pos to = std::min(m_end, (block + 1) * kBlockLines);
  std::vector<Pos> starts;
  for (Pos l = from; l < to; ++l) starts.push_back(l == line ? start : Start(l));
  const auto [lo, hi] = std::minmax_element(starts.begin(), starts.end());
  const auto slot = [&](Pos l) { return static_cast<std::size_t>(l - block * kBlockLines); };
  if (*hi - *lo <= kMaxOffset) {
    b.base = *lo;
    for (Pos l = from; l < to; ++l)
      b.narrow[slot(l)] = static_cast<std::uint32_t>(starts[static_cast<std::size_t>(l - from)] - b.base);
  } else {
    b.wide = std::make_unique_for_overwrite<Pos[]>(static_cast<std::size_t>(kBlockLines));
    for (Pos l = from; l < to; ++l) b.wide[slot(l)] = starts[static_cast<std::size_t>(l - from)];
    b.narrow.reset();
  }
}

void LineIndex::SetStart(Pos line, Pos start) {
  Put(line, start);
  NoteTail();
}

void LineIndex::PushBackSlowly(Pos start, std::time_t time) {
  const Pos line = m_end++;
  if (m_blocks.empty()) m_firstBlock = BlockOf(line);
  if (BlockOf(line) - m_firstBlock == static_cast<Pos>(m_blocks.size())) {
    Block b;
    b.base = start;
    b.narrow = std::make_unique_for_overwrite<std::uint32_t[]>(static_cast<std::size_t>(kBlockLines));
    m_blocks.push_back(std::move(b));
  }
  Put(line, start);
  if (m_times.empty() || m_times.back().time != time) m_times.push_back({line, time});
  NoteTail();
}

void LineIndex::PopBack() {
  if (m_end - m_first <= 1) return;
  --m_end;
  while (m_times.back().line >= m_end) m_times.pop_back();
  while (m_firstBlock + static_cast<Pos>(m_blocks.size()) - 1 > BlockOf(m_end - 1)) m_blocks.pop_back();
  NoteTail();
}

void LineIndex::SetLastTime(std::time_t time) {
  const Pos last = m_end - 1;
  if (m_times.back().line == last) {
    m_times.back().time = time;
    if (m_times.size() > 1 && m_times[m_times.size() - 2].time == time) m_times.pop_back();
  } else if (m_times.back().time != time) {
    m_times.push_back({last, time});
  }
  NoteTail();
}

void LineIndex::DropFront(Pos line) {
  line = std::clamp(line, m_first, m_end - 1);
  m_first = line;
  while (m_firstBlock < BlockOf(line)) {
    m_blocks.pop_front();
    ++m_firstBlock;
  }
  while (m_times.size() > 1 && m_times[1].line <= line) m_times.pop_front();
  m_times.front().line = line;
  NoteTail();
}

void LineIndex::PushFront(Pos start, std::time_t time) {
  const Pos line = --m_first;
  if (BlockOf(line) < m_firstBlock) {
    Block b;
    b.base = start;
    b.narrow = std::make_unique_for_overwrite<std::uint32_t[]>(static_cast<std::size_t>(kBlockLines));
    m_blocks.push_front(std::move(b));
    --m_firstBlock;
  }
  Put(line, start);
  if (m_times.front().time == time)
    m_times.front().line = line;
  else
    m_times.push_front({line, time});
  NoteTail();
}

void LineIndex::SetTimes(Pos from, const std::vector<std::time_t>& times) {
  if (times.empty()) return;
  from = std::max(from, m_first);
  while (!m_times.empty() && m_times.back().line >= from) m_times.pop_back();
  for (std::size_t i = 0; i < times.size() && from + static_cast<Pos>(i) < m_end; ++i)
    if (m_times.empty() || m_times.back().time != times[i]) m_times.push_back({from + static_cast<Pos>(i), times[i]});
  NoteTail();
}
