#include "LineReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
// Large reads keep the system calls few, whatever the shape of the reply.
constexpr std::size_t kChunk = 64 * 1024;
}

LineReader::LineReader(std::function<long(char*, std::size_t)> receive)
    : m_receive(std::move(receive)) {}

LineReader::Status LineReader::Fill()
{
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
        if (m_buf.size() - m_end < kChunk)
            m_buf.resize(std::max(m_buf.size() * 2, m_end + kChunk));
    }
    const long n = m_receive(m_buf.data() + m_end, m_buf.size() - m_end);
    if (n > 0) {
        m_end += static_cast<std::size_t>(n);
        return Status::Line;
    }
    if (n == 0)
        return Status::Closed;
    if (n == -2)
        return Status::Aborted;
    return Status::Failed;
}

LineReader::Status LineReader::ReadLine(std::string& line)
{
    line.clear();
    for (;;) {
        const char* base = m_buf.data();
        const std::size_t avail = m_end - m_scan;
        // Two memchr passes instead of one byte loop: the LF search bounds the
        // CR search, so every byte is looked at a fixed number of times.
        const char* lf = avail ? static_cast<const char*>(std::memchr(base + m_scan, '\n', avail)) : nullptr;
        const std::size_t stop = lf ? static_cast<std::size_t>(lf - base) : m_end;
        const char* cr = stop > m_scan
            ? static_cast<const char*>(std::memchr(base + m_scan, '\r', stop - m_scan)) : nullptr;

        if (cr) {
            const std::size_t crPos = static_cast<std::size_t>(cr - base);
            if (crPos + 1 < m_end) {
                line.assign(base + m_begin, crPos - m_begin);
                if (base[crPos + 1] != '\n')
                    line.push_back(base[crPos + 1]);
                m_begin = m_scan = crPos + 2;
                return Status::Line;
            }
            m_scan = crPos;  // the byte after the CR has not arrived yet
        } else if (lf) {
            line.assign(base + m_begin, stop - m_begin);
            m_begin = m_scan = stop + 1;
            return Status::Line;
        } else {
            m_scan = m_end;
        }

        if (m_final != Status::Line)
            return m_final;
        const Status st = Fill();
        if (st == Status::Line)
            continue;
        if (st == Status::Aborted)
            return st;
        m_final = st;
        if (st == Status::Closed && m_end > m_begin) {
            // What came before the close is the last line; a lone CR at the
            // very end is a line end without a following byte.
            const char* data = m_buf.data();
            std::size_t len = m_end - m_begin;
            if (data[m_end - 1] == '\r')
                --len;
            line.assign(data + m_begin, len);
            m_begin = m_scan = m_end;
            return Status::Line;
        }
        m_begin = m_scan = m_end;
        return st;
    }
}
