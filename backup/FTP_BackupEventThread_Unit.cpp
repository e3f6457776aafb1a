#include "backup/FTP_BackupEventThread_Unit.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QSemaphore>

#include <exception>
#include <memory>

namespace cvb {

namespace {

// Released when the handed-over call has run or when its event is thrown away unrun (its
// context object was deleted), so the waiting worker never waits for ever.
class ReleaseOnDestruction
{
public:
    explicit ReleaseOnDestruction(QSemaphore *done) : m_done(done) {}
    ReleaseOnDestruction(const ReleaseOnDestruction &) = delete;
    ReleaseOnDestruction &operator=(const ReleaseOnDestruction &) = delete;
    ~ReleaseOnDestruction() { m_done->release(); }

private:
    QSemaphore *m_done;
};

} // namespace

TFTP_BackupEventThread::TFTP_BackupEventThread(QObject *stepContext, Step logonStep, Step transferStep,
                                               QObject *parent)
    : QThread(parent), m_stepContext(stepContext), m_logonStep(std::move(logonStep)),
      m_transferStep(std::move(transferStep))
{
    setObjectName(QStringLiteral("TFTP_BackupEventThread"));
}

TFTP_BackupEventThread::~TFTP_BackupEventThread()
{
    stop();
    wait();
}

void TFTP_BackupEventThread::resume()
{
    start(QThread::IdlePriority);
}

void TFTP_BackupEventThread::stop()
{
    QMutexLocker lock(&m_mutex);
    m_stopped = true;
    requestInterruption();
}

QString TFTP_BackupEventThread::stepError() const
{
    QMutexLocker lock(&m_mutex);
    return m_stepError;
}

void TFTP_BackupEventThread::run()
{
    if (handOver(m_logonStep))
        handOver(m_transferStep);
}

bool TFTP_BackupEventThread::handOver(const Step &step)
{
    QSemaphore done;
    bool ran = false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_stopped || !m_stepContext)
            return false;
        auto release = std::make_shared<ReleaseOnDestruction>(&done);
        QMetaObject::invokeMethod(
            m_stepContext,
            [this, &step, &ran, release] {
                QString error;
                try {
                    step();
                } catch (const std::exception &e) {
                    error = QString::fromLocal8Bit(e.what());
                    if (error.isEmpty())
                        error = QStringLiteral("Unexpected error");
                } catch (...) {
                    error = QStringLiteral("Unexpected error");
                }
                QMutexLocker stepLock(&m_mutex);
                m_stepError = error;
                ran = error.isEmpty();
            },
            Qt::QueuedConnection);
    }
    done.acquire();
    QMutexLocker lock(&m_mutex);
    return ran && !m_stopped;
}

} // namespace cvb
