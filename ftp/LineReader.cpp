#include "LineReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Transport.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Large reads keep the system calls few, whatever the shape of the reply.
constexpr std::size_t kChunk = 64 * 1024;

// The first CR or LF in [p, end), or null. One pass over the bytes, sixteen
// at a time where the processor allows: replies of many megabytes go by
// while the window waits.
const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n') return p;
  }
  return nullptr;
}

}  // namespace

LineReader::LineReader(Receive receive, std::size_t maxLine)
    : m_receive(std::move(receive)), m_maxLine(maxLine), m_buf(kChunk) {}

long LineReader::Fill(bool wait) {
  if (m_begin == m_end) {
    m_begin = m_scan = m_end = 0;
    // A huge line is not to pin its memory for the rest of the connection.
    if (m_buf.size() > 16 * kChunk) {
      m_buf.resize(kChunk);
      m_buf.shrink_to_fit();
    }
  }
  if (m_buf.size() - m_end < kChunk) {
    const std::size_t live = m_end - m_begin;
    // Move the live bytes to the front only when that frees at least as
    // much as it copies, so a long line is not moved over and over.
    if (m_begin > 0 && m_begin >= live) {
      std::memmove(m_buf.data(), m_buf.data() + m_begin, live);
      m_scan -= m_begin;
      m_begin = 0;
      m_end = live;
    }
    // Doubling, but never far past what the longest line allowed needs.
    if (m_buf.size() - m_end < kChunk)
      m_buf.resize(std::max(std::min(m_buf.size() * 2, m_maxLine + 2 * kChunk), m_end + kChunk));
  }
  const long n = m_receive(m_buf.data() + m_end, m_buf.size() - m_end, wait);
  if (n > 0) m_end += static_cast<std::size_t>(n);
  return n;
}

LineReader::Status LineReader::ReadLine(std::string& line, bool wait) {
  std::string_view view;
  const Status st = Next(view, wait);
  line.assign(view);
  return st;
}

LineReader::Status LineReader::Next(std::string_view& line, bool wait) {
  line = {};
  for (;;) {
    const char* base = m_buf.data();
    const char* hit = FindLineEnd(base + m_scan, base + m_end);
    const std::size_t at = hit ? static_cast<std::size_t>(hit - base) : m_end;
    if (hit && *hit == '\n') {
      line = std::string_view(base + m_begin, at - m_begin);
      m_begin = m_scan = at + 1;
      return Status::Line;
    }
    if (hit && at + 1 < m_end) {  // a CR and the byte after it
      if (base[at + 1] == '\n') {
        line = std::string_view(base + m_begin, at - m_begin);
      } else {  // the byte after the CR ends the line: the line is not one piece in the buffer
        m_scratch.assign(base + m_begin, at - m_begin);
        m_scratch.push_back(base[at + 1]);
        line = m_scratch;
      }
      m_begin = m_scan = at + 2;
      return Status::Line;
    }
    m_scan = at;  // the end, or a CR whose next byte has not arrived yet

    if (m_final != Status::Line) return m_final;
    if (m_end - m_begin > m_maxLine) {
      m_tooLong = true;
      m_final = Status::Failed;
      m_begin = m_scan = m_end = 0;
      m_buf.assign(kChunk, '\0');
      m_buf.shrink_to_fit();
      return m_final;
    }
    const long n = Fill(wait);
    if (n > 0) continue;
    if (n == Transport::kNothingYet) return Status::NothingYet;
    if (n == Transport::kAbandoned) return Status::Aborted;
    m_final = n == Transport::kClosed ? Status::Closed : Status::Failed;
    if (m_end > m_begin) {
      // What came before the end is shown. A lone CR at the very end of an
      // orderly close is a line end without a following byte; anything else
      // is a line cut short.
      const char* data = m_buf.data();
      const bool ended = m_final == Status::Closed && data[m_end - 1] == '\r';
      line = std::string_view(data + m_begin, m_end - m_begin - (ended ? 1 : 0));
      m_begin = m_scan = m_end;
      return ended ? Status::Line : Status::Partial;
    }
    m_begin = m_scan = m_end;
    return m_final;
  }
}
