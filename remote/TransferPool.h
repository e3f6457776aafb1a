// The extra connections of a backup that fetch its files while its main connection walks the
// folders. Each connection is an FTP component on a thread of its own, with its own event loop;
// it logs on with the same settings as the main connection (TLS included), takes one file at a
// time and reports what became of it to the thread that made the pool, which alone writes rows.
// A connection the server turns away at log-on is given up; the others go on.
#pragma once

#include "data/ConnectionSettings.h"
#include "remote/FileFetch.h"
#include "remote/TreeCopy.h"

#include <QObject>

#include <deque>
#include <memory>
#include <vector>

namespace cvb {

class TransferConnection;

class TransferPool : public QObject, public FileTransfers
{
    Q_OBJECT
public:
    // `connections` threads, each logging on as soon as start() is called. `pauseAfterFileMs`
    // is the pause after each file (paced), 0 for none. Files are fetched with the tries of
    // `policy`, resuming the temporary files of `parts` (which must outlive the pool; may be null).
    TransferPool(const ConnectionSettings &settings, int connections, int pauseAfterFileMs,
                 const RetryPolicy &policy = RetryPolicy(), const ResumableParts *parts = nullptr,
                 QObject *parent = nullptr);
    ~TransferPool() override;

    // Before start(): unchanged files are taken from the last complete backup (`snapshot`
    // outlives the pool and does not change while it runs).
    void setSnapshot(const Snapshot *snapshot) { m_snapshot = snapshot; }

    void start();

    bool accepting() const override;
    void submit(const Job &job) override;
    bool busy() const override;
    bool takeWaiting(Job *job) override;
    void waitForOutcome() override;
    void stop() override;

    // Logs every connection off and ends its thread (after stop(): ends them without a word to
    // the server). Waits for the threads.
    void finish();

    // How many connections logged on, and whether one was turned away because the server takes
    // no more connections at once (421, 530 "too many", or closed at once).
    int loggedOn() const { return m_loggedOn; }
    bool limitMet() const { return m_limitMet; }

    // Told (on the pool's thread) of a connection given up: its number and why.
    std::function<void(int connection, const QString &why)> onGivenUp;

    // Told (on the pool's thread) a few times a second while a connection fetches a file: how many
    // more bytes of `job` have arrived, and how many so far.
    std::function<void(const Job &job, qint64 more, qint64 bytesSoFar)> onBytes;

    // True for a log-on failure that says the server takes no more connections at once.
    static bool isConnectionLimit(int code, const QString &reply);

private:
    friend class TransferConnection;
    struct Slot;
    void loggedOnAs(int index, int code, const QString &error);
    void jobDone(int index, const Job &job, const Outcome &outcome);
    void bytesOf(int index, const Job &job, qint64 bytes);
    void dispatch();
    // Waits until every connection's thread has ended, serving this thread's events meanwhile
    // when `serveEvents`.
    void waitForConnections(bool serveEvents);
    // The waiting job to hand out next.
    std::deque<Job>::iterator largestWaiting();
    // Hands the waiting jobs back once no connection is left to take them.
    void handBackWhenNoneLeft();

    ConnectionSettings m_settings;
    int m_pauseAfterFileMs = 0;
    RetryPolicy m_policy;
    const ResumableParts *m_parts = nullptr;
    const Snapshot *m_snapshot = nullptr;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::deque<Job> m_waiting;
    int m_running = 0;
    int m_loggedOn = 0;
    bool m_limitMet = false;
    bool m_stopped = false;
    bool m_outcomeSeen = false;
};

} // namespace cvb
