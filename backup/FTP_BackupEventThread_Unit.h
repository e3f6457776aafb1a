// The backup worker: a thread of its own at idle priority that hands the two steps of one
// backup, log-on and transfer, to the main thread one after the other and waits for each.
// All real work (tables, FTP, log rows) happens inside the steps, on the main thread.
#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>

namespace cvb {

class TFTP_BackupEventThread : public QThread
{
    Q_OBJECT
public:
    using Step = std::function<void()>;

    // `stepContext` lives on the main thread; the steps run as its events. Whoever owns the
    // worker calls stop() before deleting that object, and deletes the worker after that.
    TFTP_BackupEventThread(QObject *stepContext, Step logonStep, Step transferStep,
                           QObject *parent = nullptr);
    ~TFTP_BackupEventThread() override;

    // Created suspended; this starts it at idle priority.
    void resume();

    // Tells the worker to stop: no step is handed over after this returns; a step already
    // handed over finishes. Call on the main thread.
    void stop();

    // The message of an error that escaped a step and ended the worker early; empty when the
    // steps ran to their end.
    QString stepError() const;

protected:
    void run() override;

private:
    bool handOver(const Step &step);

    QObject *m_stepContext;
    Step m_logonStep;
    Step m_transferStep;
    mutable QMutex m_mutex;
    bool m_stopped = false;
    QString m_stepError;
};

} // namespace cvb
