#include "socket/LineFIFO.h"

#include <algorithm>
#include <cstring>

namespace cvb {

LineFIFO::LineFIFO(int capacity) : m_storage(static_cast<std::size_t>(capacity))
{
}

bool LineFIFO::Append(const QByteArray &bytes)
{
    if (bytes.size() > FreeTail())
        MoveToFront();
    if (bytes.size() > FreeTail())
        return false;
    std::memcpy(Tail(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
    m_count += static_cast<int>(bytes.size());
    return true;
}

void LineFIFO::Clear()
{
    m_start = 0;
    m_count = 0;
    m_splitAt = -1;
}

QByteArray LineFIFO::TakeAll()
{
    QByteArray all(m_storage.data() + m_start, m_count);
    m_start = 0;
    m_count = 0;
    return all;
}

void LineFIFO::MoveToFront()
{
    if (m_start > 0) {
        std::memmove(m_storage.data(), m_storage.data() + m_start, static_cast<std::size_t>(m_count));
        m_start = 0;
    }
}

bool LineFIFO::FindLineEnd(int *lineLength, int *runLength, int *runEnd) const
{
    const char *data = m_storage.data() + m_start;
    const int eolLength = static_cast<int>(m_eol.size());
    if (!m_eolAnyChar) {
        const char *end = data + m_count;
        const char *hit = std::search(data, end, m_eol.constData(), m_eol.constData() + eolLength);
        if (hit == end)
            return false;
        *lineLength = static_cast<int>(hit - data);
        *runLength = eolLength;
        *runEnd = eolLength;
        return true;
    }
    for (int i = 0; i < m_count; ++i) {
        const int at = static_cast<int>(m_eol.indexOf(data[i]));
        if (at < 0)
            continue;
        // The bytes after it are consumed as long as they continue the terminator.
        int run = 1;
        int pos = at + 1;
        while (pos < eolLength && i + run < m_count && data[i + run] == m_eol[pos]) {
            ++run;
            ++pos;
        }
        *lineLength = i;
        *runLength = run;
        *runEnd = pos;
        return true;
    }
    return false;
}

LineFIFO::Take LineFIFO::TakeLine(QByteArray *line)
{
    if (m_count == 0)
        return Take::None;
    if (m_eol.isEmpty()) {
        *line = TakeAll();
        return Take::Line;
    }
    const char *data = m_storage.data() + m_start;
    // The rest of a terminator cut off by the previous receive: consume it, no empty line.
    if (m_splitAt >= 0) {
        const int from = m_splitAt;
        m_splitAt = -1;
        int run = 0;
        while (from + run < m_eol.size() && run < m_count && data[run] == m_eol[from + run])
            ++run;
        if (run > 0) {
            m_start += run;
            m_count -= run;
            if (m_count == 0 && from + run < m_eol.size())
                m_splitAt = from + run;
            if (m_count == 0)
                m_start = 0;
            return Take::Skipped;
        }
    }
    int lineLength = 0, runLength = 0, runEnd = 0;
    if (!FindLineEnd(&lineLength, &runLength, &runEnd)) {
        MoveToFront();
        return Take::None;
    }
    *line = QByteArray(data, lineLength);
    m_start += lineLength + runLength;
    m_count -= lineLength + runLength;
    if (m_eolAnyChar && m_count == 0 && runEnd < m_eol.size())
        m_splitAt = runEnd;
    if (m_count == 0)
        m_start = 0;
    return Take::Line;
}

} // namespace cvb
