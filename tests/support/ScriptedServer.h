// A TCP server on 127.0.0.1 that plays a fixed script against one client, for peers that
// misbehave on purpose (lines cut at odd places, closing mid-line, never answering). It runs
// on a thread of its own, so the code under test may wait on the main thread.
#pragma once
#include <QByteArray>
#include <QList>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace cvb::test {

class ScriptedServer
{
public:
    // Listens on a free port at once; the script runs after Start().
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    int Port() const { return m_port; }

    // Script steps, played in order on the connection accepted first.
    ScriptedServer &Send(const QByteArray &bytes);
    // Waits for one line from the client (ended by LF; a CR before it is dropped) and
    // records it; a non-empty `expected` that differs is recorded as a failure.
    ScriptedServer &ExpectLine(const QByteArray &expected = {});
    // Waits until `count` more bytes have arrived.
    ScriptedServer &ExpectBytes(qint64 count);
    // Reads until the client closes the connection.
    ScriptedServer &ReadToEnd();
    ScriptedServer &Pause(int ms);
    // Closes the connection gracefully (the client sees the end of the data).
    ScriptedServer &Close();
    // Closes the connection with a reset.
    ScriptedServer &Reset();
    // Accepts the next connection; later steps play on it.
    ScriptedServer &Accept();

    void Start();
    // True once the whole script has run; false on time-out.
    bool WaitDone(int timeoutMs = 15000);
    // Stops listening, so that a later connect is refused.
    void StopListening();
    // True when a client has connected and no step has accepted it (yet).
    bool ConnectionWaiting() const;

    QByteArray Received() const;
    QList<QByteArray> Lines() const;
    QStringList Failures() const;

private:
    struct Step
    {
        enum Kind { Send, ExpectLine, ExpectBytes, ReadToEnd, Pause, Close, Reset, Accept } kind;
        QByteArray bytes;
        qint64 count = 0;
    };
    ScriptedServer &Add(Step step);
    void Run();
    bool AcceptOne();
    // Reads what is there (waiting up to the step time-out); false at the end or on failure.
    bool ReadSome();
    void Fail(const QString &why);
    void CloseConnection(bool reset);

    int m_listen = -1;
    int m_conn = -1;
    int m_port = 0;
    std::vector<Step> m_steps;
    QByteArray m_pending;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    mutable std::mutex m_mutex;
    QByteArray m_received;
    QList<QByteArray> m_lines;
    QStringList m_failures;
};

} // namespace cvb::test
