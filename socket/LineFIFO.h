// The receive buffer of a connection: a fixed block that cuts incoming bytes into lines.
#pragma once
#include <QByteArray>
#include <vector>

namespace cvb {

class LineFIFO
{
public:
    static constexpr int kCapacity = 2048;

    explicit LineFIFO(int capacity = kCapacity);

    // The line terminator; empty turns line cutting off.
    QByteArray EOL() const { return m_eol; }
    void SetEOL(const QByteArray &eol) { m_eol = eol; }
    // True: any byte of the terminator ends a line (CR, LF or CR LF for CR LF).
    bool EolAnyChar() const { return m_eolAnyChar; }
    void SetEolAnyChar(bool any) { m_eolAnyChar = any; }

    int Capacity() const { return static_cast<int>(m_storage.size()); }
    int Count() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    bool IsFull() const { return m_count == Capacity(); }

    // Free space behind the unread data, where received bytes go.
    char *Tail() { return m_storage.data() + m_start + m_count; }
    int FreeTail() const { return Capacity() - m_start - m_count; }
    // Counts n bytes written at Tail().
    void Added(int n) { m_count += n; }
    // Appends bytes; false (nothing taken) when they do not fit behind the unread data.
    bool Append(const QByteArray &bytes);

    enum class Take {
        Line,    // a complete line was taken out
        Skipped, // the rest of a terminator split across two receives was consumed
        None     // no complete line is buffered
    };
    // Takes the next complete line (without its terminator) out of the buffer.
    Take TakeLine(QByteArray *line);
    // Takes everything buffered out as one piece.
    QByteArray TakeAll();
    void Clear();

private:
    // Where the next line ends: its length and the length of its terminator run; false if
    // no line end is buffered.
    bool FindLineEnd(int *lineLength, int *runLength, int *runEnd) const;
    void MoveToFront();

    std::vector<char> m_storage;
    int m_start = 0;
    int m_count = 0;
    QByteArray m_eol;
    bool m_eolAnyChar = false;
    // A terminator run reached the end of the buffered data before it was complete; the
    // position in the terminator where it stopped.
    int m_splitAt = -1;
};

} // namespace cvb
