#include "remote/TransferPool.h"

#include "component/Component.h"
#include "data/Pacing.h"
#include "ftp/FtpClient.h"
#include "remote/LogOn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace cvb {

namespace {

// A transfer connection tells how far its file has got at most this often.
constexpr qint64 kProgressIntervalMs = 250;

} // namespace

// One transfer connection: its component is made, used and destroyed on its own thread. The
// pool's thread talks to it only through functors queued to its inbox, and hears from it only
// through functors queued to the pool.
class TransferConnection : public QThread
{
public:
    TransferConnection(TransferPool &pool, int index, const ConnectionSettings &settings, int pauseAfterFileMs,
                       const RetryPolicy &policy, const ResumableParts *parts)
        : m_pool(&pool), m_index(index), m_settings(settings), m_pauseAfterFileMs(pauseAfterFileMs),
          m_policy(policy), m_parts(parts)
    {
        setObjectName(QStringLiteral("TransferConnection%1").arg(index + 1));
    }

    // Runs one job; the pool hands out the next only after this one has been reported.
    void runJob(const FileTransfers::Job &job)
    {
        post([this, job] { doJob(job); });
    }

    // Ends the running wait, if any, and every later one.
    void interrupt()
    {
        m_stopped = true;
        // Also while the connection logs on: the waits of the log-on serve the thread's events.
        const std::lock_guard<std::mutex> lock(m_inboxMutex);
        if (m_stopBox)
            QMetaObject::invokeMethod(m_stopBox, [this] { keepInterrupting(); }, Qt::QueuedConnection);
    }

    // Ends the connection: with a log-off, unless it was stopped.
    void end()
    {
        m_ending = true;
        post([this] {
            if (!m_stopped && m_ftp)
                WithoutRaising(*m_ftp, [this] { m_ftp->SetAction(ftpLogoff); });
            quit();
        });
    }

protected:
    void run() override
    {
        QObject inbox;
        TcvbFTP ftp;
        ftp.setObjectName(objectName());
        m_ftp = &ftp;
        ftp.SetWinsockLoaded(true);
        {
            const std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_stopBox = &inbox;
        }
        int code = 0;
        QString error = prepareLogOn(ftp, m_settings);
        if (!error.isEmpty()) {
            code = -1;
        } else if (m_stopped) {
            // Stopped before the box was there to tell it.
            code = CIPPortMsg::kInterrupted;
            error = QStringLiteral("Interrupted");
        } else {
            code = logOn(ftp, &error);
        }
        {
            const std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_inbox = &inbox;
        }
        TransferPool *pool = m_pool;
        const int index = m_index;
        QMetaObject::invokeMethod(
            pool, [pool, index, code, error] { pool->loggedOnAs(index, code, error); }, Qt::QueuedConnection);
        // An end asked for before the inbox was there finds the flag set.
        if (code == 0 && !m_stopped && !m_ending)
            exec();
        else if (code == 0 && !m_stopped)
            WithoutRaising(ftp, [&ftp] { ftp.SetAction(ftpLogoff); });
        {
            const std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_inbox = nullptr;
            m_stopBox = nullptr;
            m_stopTimer = nullptr; // goes with the box
        }
        m_ftp = nullptr;
    }

private:
    // On the connection's thread. An interrupt that comes between two waits (the connect done,
    // the wait for the greeting not yet begun) ends nothing, so once stopped it is repeated
    // while the connection lasts; the timer fires only inside the component's waits.
    void keepInterrupting()
    {
        if (m_ftp)
            m_ftp->Interrupt();
        if (m_stopTimer || !m_stopBox)
            return;
        m_stopTimer = new QTimer(m_stopBox);
        QObject::connect(m_stopTimer, &QTimer::timeout, m_stopBox, [this] {
            if (m_ftp)
                m_ftp->Interrupt();
        });
        m_stopTimer->start(100);
    }

    // Logs on, trying again after a growing pause while the connection fails on the way (a reset,
    // a timeout); 0 or the code of the last failure, whose text goes to `error`.
    int logOn(TcvbFTP &ftp, QString *error)
    {
        for (int attempt = 1;; ++attempt) {
            const int code = WithoutRaising(ftp, [&ftp] { ftp.SetAction(ftpLogon); });
            if (code == 0) {
                ftp.Features(); // EPSV, where the server offers it
                return 0;
            }
            *error = ftp.LastErrorText();
            // A server that takes no more connections is not asked again: the backup goes on with
            // the connections it has.
            if (m_stopped || attempt >= m_policy.tries || TransferPool::isConnectionLimit(code, *error) ||
                !isTransientFailure(code, *error))
                return code;
            waitUnlessStopped(m_policy.backOffMs(attempt + 1), [this] { return m_stopped.load(); });
        }
    }

    void post(std::function<void()> work)
    {
        const std::lock_guard<std::mutex> lock(m_inboxMutex);
        if (m_inbox)
            QMetaObject::invokeMethod(m_inbox, std::move(work), Qt::QueuedConnection);
    }

    void doJob(const FileTransfers::Job &job)
    {
        FileTransfers::Outcome outcome;
        TransferPool *pool = m_pool;
        const int index = m_index;
        // The bytes so far go to the pool's thread now and then, never for every block.
        qint64 bytes = 0;
        qint64 told = 0;
        QElapsedTimer sinceTold;
        sinceTold.start();
        const auto tell = [pool, index, job, &bytes, &told] {
            if (bytes == told)
                return;
            told = bytes;
            QMetaObject::invokeMethod(
                pool, [pool, index, job, bytes] { pool->bytesOf(index, job, bytes); }, Qt::QueuedConnection);
        };
        m_ftp->OnTransfer = [&](QObject *, std::int64_t transferred, const QByteArray &) {
            bytes = transferred;
            if (sinceTold.elapsed() >= kProgressIntervalMs) {
                sinceTold.restart();
                tell();
            }
        };
        FetchContext context;
        context.policy = m_policy;
        context.parts = m_parts;
        // Set before the thread started, and never changed while it runs.
        context.snapshot = m_pool->m_snapshot;
        context.stopped = [this] { return m_stopped.load(); };
        FetchRequest request;
        request.remotePath = job.remotePath;
        request.localFile = job.localFile;
        request.listed = {job.size, job.modified};
        request.mayBeFolder = job.mayBeFolder;
        const FetchResult fetched = fetchFile(*m_ftp, request, context);
        m_ftp->OnTransfer = nullptr;
        tell();
        outcome.error = fetched.error;
        outcome.notes = fetched.notes;
        outcome.received = fetched.received;
        outcome.record = fetched.record;
        switch (fetched.kind) {
        case FetchResult::Copied:
            outcome.kind = FileTransfers::Outcome::Copied;
            // The pause paces downloads: a file taken over unchanged crossed no network.
            if (m_pauseAfterFileMs > 0 && !m_stopped && !fetched.record.unchanged)
                pace(m_pauseAfterFileMs);
            break;
        case FetchResult::Vanished:
            outcome.kind = FileTransfers::Outcome::Vanished;
            break;
        case FetchResult::LocalFailed:
            outcome.kind = FileTransfers::Outcome::Failed;
            break;
        case FetchResult::RemoteFailed:
            outcome.kind = FileTransfers::Outcome::Failed;
            // Not a file: perhaps a folder, which this connection can enter as well as any.
            if (job.mayBeFolder && !m_stopped) {
                if (WithoutRaising(*m_ftp, [this, &job] { m_ftp->SetRemotePath(job.remotePath); }) == 0)
                    outcome.kind = FileTransfers::Outcome::IsFolder;
                else if (vanishedFromServer(*m_ftp, job.remotePath))
                    outcome.kind = FileTransfers::Outcome::Vanished;
            }
            break;
        }
        QMetaObject::invokeMethod(
            pool, [pool, index, job, outcome] { pool->jobDone(index, job, outcome); }, Qt::QueuedConnection);
    }

    TransferPool *m_pool;
    const int m_index;
    const ConnectionSettings m_settings;
    const int m_pauseAfterFileMs;
    const RetryPolicy m_policy;
    const ResumableParts *const m_parts;
    TcvbFTP *m_ftp = nullptr; // used on the connection's own thread only
    std::mutex m_inboxMutex;
    QObject *m_inbox = nullptr;
    // The same object, there from the start of the thread: for interrupts only, which may come
    // during the log-on (jobs and the end wait for the log-on).
    QObject *m_stopBox = nullptr;
    QTimer *m_stopTimer = nullptr; // a child of the stop box, on the connection's thread
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_ending{false};
};

struct TransferPool::Slot
{
    enum State { LoggingOn, Ready, Busy, Gone } state = LoggingOn;
    std::unique_ptr<TransferConnection> connection;
    bool finished = false;
    qint64 jobBytes = 0; // of the job in hand, as last told
};

TransferPool::TransferPool(const ConnectionSettings &settings, int connections, int pauseAfterFileMs,
                           const RetryPolicy &policy, const ResumableParts *parts, QObject *parent)
    : QObject(parent), m_settings(settings), m_pauseAfterFileMs(pauseAfterFileMs), m_policy(policy), m_parts(parts)
{
    for (int i = 0; i < connections; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->connection =
            std::make_unique<TransferConnection>(*this, i, m_settings, m_pauseAfterFileMs, m_policy, m_parts);
        Slot *raw = slot.get();
        connect(slot->connection.get(), &QThread::finished, this, [raw] { raw->finished = true; });
        m_slots.push_back(std::move(slot));
    }
}

TransferPool::~TransferPool()
{
    if (!m_stopped)
        stop();
    // No events are served from a destructor: the stopped connections end on their own threads.
    waitForConnections(false);
}

void TransferPool::start()
{
    for (const auto &slot : m_slots)
        slot->connection->start();
}

bool TransferPool::isConnectionLimit(int code, const QString &reply)
{
    if (reply.startsWith(QLatin1String("421")))
        return true;
    static const QRegularExpression tooMany(QStringLiteral("too many|connections|limit|maximum number"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (reply.startsWith(QLatin1String("530")) && tooMany.match(reply).hasMatch())
        return true;
    // Closed before or at once after the greeting.
    return code == CIPPortMsg::kInterrupted && reply != QLatin1String("Timed out");
}

bool TransferPool::accepting() const
{
    if (m_stopped)
        return false;
    for (const auto &slot : m_slots)
        if (slot->state != Slot::Gone)
            return true;
    return false;
}

void TransferPool::submit(const Job &job)
{
    m_waiting.push_back(job);
    dispatch();
}

bool TransferPool::busy() const
{
    return !m_waiting.empty() || m_running > 0;
}

bool TransferPool::takeWaiting(Job *job)
{
    if (m_waiting.empty() || m_stopped)
        return false;
    *job = m_waiting.back();
    m_waiting.pop_back();
    return true;
}

void TransferPool::waitForOutcome()
{
    m_outcomeSeen = false;
    while (!m_outcomeSeen && !m_stopped && busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TransferPool::stop()
{
    m_stopped = true;
    m_waiting.clear();
    for (const auto &slot : m_slots)
        slot->connection->interrupt();
}

void TransferPool::finish()
{
    for (const auto &slot : m_slots)
        slot->connection->end();
    // The connections log off side by side; the events of this thread go on meanwhile (a window
    // stays drawn, a stop can arrive).
    waitForConnections(true);
}

void TransferPool::waitForConnections(bool serveEvents)
{
    const auto allFinished = [this] {
        for (const auto &slot : m_slots)
            if (!slot->finished && !slot->connection->isFinished())
                return false;
        return true;
    };
    // Once stopped, the interrupt is sent again now and then: one that reached a connection
    // between two of its waits ended nothing.
    QElapsedTimer sinceInterrupt;
    sinceInterrupt.start();
    while (!allFinished()) {
        if (serveEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (m_stopped && sinceInterrupt.elapsed() >= 200) {
            sinceInterrupt.restart();
            for (const auto &slot : m_slots)
                slot->connection->interrupt();
        }
        if (!allFinished())
            QThread::msleep(5);
    }
    for (const auto &slot : m_slots)
        slot->connection->wait();
}

void TransferPool::loggedOnAs(int index, int code, const QString &error)
{
    Slot &slot = *m_slots[std::size_t(index)];
    if (code == 0) {
        slot.state = Slot::Ready;
        ++m_loggedOn;
        dispatch();
        return;
    }
    slot.state = Slot::Gone;
    // A stop ends a log-on as a closed connection would: it says nothing of the server's limit.
    if (!m_stopped && isConnectionLimit(code, error))
        m_limitMet = true;
    if (!m_stopped && onGivenUp)
        onGivenUp(index + 1, error);
    handBackWhenNoneLeft();
}

void TransferPool::jobDone(int index, const Job &job, const Outcome &outcome)
{
    Slot &slot = *m_slots[std::size_t(index)];
    if (slot.state == Slot::Busy)
        slot.state = Slot::Ready;
    --m_running;
    m_outcomeSeen = true;
    if (m_stopped)
        return;
    dispatch();
    report(job, outcome);
}

void TransferPool::bytesOf(int index, const Job &job, qint64 bytes)
{
    Slot &slot = *m_slots[std::size_t(index)];
    const qint64 more = bytes - slot.jobBytes;
    slot.jobBytes = bytes;
    if (!m_stopped && more > 0 && onBytes)
        onBytes(job, more, bytes);
}

void TransferPool::dispatch()
{
    if (m_stopped)
        return;
    for (const auto &slot : m_slots) {
        if (m_waiting.empty())
            return;
        if (slot->state != Slot::Ready)
            continue;
        slot->state = Slot::Busy;
        slot->jobBytes = 0;
        ++m_running;
        const auto next = largestWaiting();
        slot->connection->runJob(*next);
        m_waiting.erase(next);
    }
}

std::deque<FileTransfers::Job>::iterator TransferPool::largestWaiting()
{
    // The largest file first: a big one started late would keep one connection busy long after
    // the others are done. The rows keep the order of the work list all the same. Only the front
    // of a long queue is searched, so that a folder of many thousand files costs no more.
    constexpr std::ptrdiff_t kSearched = 1000;
    const auto end = m_waiting.begin() + std::min<std::ptrdiff_t>(kSearched, std::ptrdiff_t(m_waiting.size()));
    return std::max_element(m_waiting.begin(), end,
                            [](const Job &a, const Job &b) { return a.size < b.size; });
}

void TransferPool::handBackWhenNoneLeft()
{
    if (accepting() || m_stopped)
        return;
    std::deque<Job> waiting;
    waiting.swap(m_waiting);
    m_outcomeSeen = true;
    for (const Job &job : waiting)
        report(job, {Outcome::NotTaken, {}, {}, 0, {}});
}

} // namespace cvb
