#include "backup/BackupProgress.h"

namespace cvb {

namespace {

// The speed is what arrived over this span.
constexpr qint64 kSpeedSpanMs = 3000;

} // namespace

void BackupProgress::start(const QString &profile)
{
    *this = BackupProgress();
    m_profile = profile;
    m_clock.start();
}

void BackupProgress::fileInHand(const QString &remotePath, qint64 size, qint64 bytes)
{
    m_currentFile = remotePath;
    m_currentSize = size;
    m_currentBytes = bytes;
}

BackupProgressSnapshot BackupProgress::snapshot()
{
    BackupProgressSnapshot s;
    s.profile = m_profile;
    s.currentFile = m_currentFile;
    s.currentSize = m_currentSize;
    s.currentBytes = m_currentBytes;
    s.filesDone = m_filesDone;
    s.filesFailed = m_filesFailed;
    s.filesVanished = m_filesVanished;
    s.filesKnown = qMax(m_filesKnown, m_filesDone + m_filesFailed);
    s.bytes = m_bytes;
    s.elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;

    m_samples.push_back({s.elapsedMs, m_bytes});
    while (m_samples.size() > 2 && s.elapsedMs - m_samples[1].ms >= kSpeedSpanMs)
        m_samples.pop_front();
    const Sample &first = m_samples.front();
    if (s.elapsedMs > first.ms)
        s.bytesPerSecond = (m_bytes - first.bytes) * 1000 / (s.elapsedMs - first.ms);
    return s;
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    static const char *const units[] = {"kB", "MB", "GB", "TB"};
    double value = double(bytes) / 1000;
    int unit = 0;
    while (value >= 1000 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString filesText(const BackupProgressSnapshot &p)
{
    QString text = QStringLiteral("%1 of %2 files done").arg(p.filesDone).arg(p.filesKnown);
    if (p.filesFailed > 0)
        text += QStringLiteral(", %1 failed").arg(p.filesFailed);
    return text;
}

QString bytesText(const BackupProgressSnapshot &p)
{
    return sizeText(p.bytes) + QStringLiteral(" at ") + sizeText(p.bytesPerSecond) + QStringLiteral("/s");
}

QString progressLine(const BackupProgressSnapshot &p)
{
    QString line = p.profile + QStringLiteral(": ") + filesText(p) + QStringLiteral(", ") + bytesText(p) +
                   QStringLiteral(", ") + durationText(p.elapsedMs);
    if (!p.currentFile.isEmpty())
        line += QStringLiteral(" ") + p.currentFile;
    return line;
}

QString summaryLine(const BackupProgressSnapshot &p, bool backupOk)
{
    QString line =
        p.profile + (backupOk ? QStringLiteral(": backup succeeded, ") : QStringLiteral(": backup failed, "));
    line += p.filesDone == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(p.filesDone);
    if (p.filesFailed > 0)
        line += QStringLiteral(" (%1 failed)").arg(p.filesFailed);
    if (p.filesVanished > 0)
        line += QStringLiteral(" (%1 vanished from the server)").arg(p.filesVanished);
    return line + QStringLiteral(", ") + sizeText(p.bytes) + QStringLiteral(" in ") +
           durationText(p.elapsedMs);
}

QString failureNotice(const QString &profile, const QString &firstFailure)
{
    QString text = QStringLiteral("The backup of profile ") + profile + QStringLiteral(" failed");
    QString failure = firstFailure;
    if (failure.startsWith(QLatin1String("EXCEPTION: ")))
        failure = failure.mid(11);
    return failure.isEmpty() ? text + QStringLiteral("; the log says why.")
                             : text + QStringLiteral(": ") + failure;
}

} // namespace cvb
