// How far a running backup has got: the counts, bytes and speed that its window, the tray icon
// and a terminal show. The run updates it as files start, arrive and fail; it holds only numbers
// and the name of the file in hand, so updating it costs next to nothing, and whoever shows it
// reads it a few times a second.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <deque>

namespace cvb {

// One reading of a backup's progress.
struct BackupProgressSnapshot
{
    QString profile;
    QString currentFile;     // remote path of the file being transferred; empty between files
    qint64 currentSize = -1; // its size when the listing gave one
    qint64 currentBytes = 0; // its bytes so far
    int filesDone = 0;
    int filesFailed = 0;
    int filesKnown = 0; // files listed or named by a source so far
    int filesVanished = 0; // listed, then gone from the server before they could be fetched
    qint64 bytes = 0;   // every byte received so far
    qint64 elapsedMs = 0;
    qint64 bytesPerSecond = 0; // over the last few seconds
};

class BackupProgress
{
public:
    void start(const QString &profile);

    // A file has become known (listed, or named by a source).
    void fileKnown() { ++m_filesKnown; }
    // A name thought to be a file is a folder after all.
    void notAFile() { --m_filesKnown; }
    // The file shown as the one in hand: `bytes` of it have arrived (on any connection).
    void fileInHand(const QString &remotePath, qint64 size, qint64 bytes);
    // `count` more bytes have arrived, on any connection.
    void received(qint64 count) { m_bytes += count; }
    void fileDone() { ++m_filesDone; }
    void fileFailed() { ++m_filesFailed; }
    void fileVanished() { ++m_filesVanished; }

    BackupProgressSnapshot snapshot();

private:
    QElapsedTimer m_clock;
    QString m_profile;
    QString m_currentFile;
    qint64 m_currentSize = -1;
    qint64 m_currentBytes = 0;
    int m_filesDone = 0;
    int m_filesFailed = 0;
    int m_filesKnown = 0;
    int m_filesVanished = 0;
    qint64 m_bytes = 0;
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
    };
    std::deque<Sample> m_samples; // readings of the last few seconds, for the speed
};

// "1.5 MB", "512 bytes": sizes as people read them (units of 1000).
QString sizeText(qint64 bytes);
// "0:07", "12:03", "1:02:03".
QString durationText(qint64 ms);

// The lines of the backup window.
QString filesText(const BackupProgressSnapshot &progress);
QString bytesText(const BackupProgressSnapshot &progress);

// The one line a terminal shows while a backup runs: files, bytes, speed, current file.
QString progressLine(const BackupProgressSnapshot &progress);
// The line that ends a run of one profile: result, files, bytes, time.
QString summaryLine(const BackupProgressSnapshot &progress, bool backupOk);

// The tray icon's message for a failed backup: the profile and its first failure (a log row,
// "EXCEPTION: " and all; empty when none was logged).
QString failureNotice(const QString &profile, const QString &firstFailure);

} // namespace cvb
