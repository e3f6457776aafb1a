#include "remote/FileFetch.h"

#include "component/Component.h"
#include "data/Settings.h"
#include "ftp/FtpClient.h"
#include "ftp/ListingParser.h"
#include "ftp/PartFile.h"
#include "remote/Manifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <array>
#include <memory>

namespace cvb {

namespace {

const QString RetryNote = QStringLiteral("Try %2 of %3 of %1 follows in %4 s: %5");
const QString ResumeNote = QStringLiteral("Resuming %1 at %2 bytes");
const QString MismatchNote =
    QStringLiteral("The resumed download of %1 does not agree with the server (%2); it is fetched whole once more.");

// The reply code at the start of a component's error text ("426 Transfer aborted"), or of its
// message ("141: 426 Transfer aborted"); 0 when there is none.
int replyCodeOf(const QString &text)
{
    static const QRegularExpression reply(QStringLiteral("^(?:\\d+: )?(\\d{3})[ -]"));
    const QRegularExpressionMatch match = reply.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The last line of the component's last whole reply, as text.
QString lastReply(TcvbFTP &ftp)
{
    const QList<QByteArray> lines = ftp.ReplyLines();
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines.last()).trimmed();
}

// Sends a command, logging on again first when the connection was lost, and gives the last line
// of its reply (of a refusal as well); the error's text when no reply came.
QString ask(TcvbFTP &ftp, const QByteArray &command, const QString &argument = {})
{
    ftp.SetRawCommand(QString::fromLatin1(command) + (argument.isEmpty() ? QString() : QLatin1Char(' ') + argument));
    const int code = WithoutRaising(ftp, [&ftp] { ftp.SetAction(ftpRawCommand); });
    return code == 0 ? lastReply(ftp) : ftp.LastErrorText();
}

QString identityTag(const RemoteIdentity &identity)
{
    return QStringLiteral("r%1-%2").arg(identity.size).arg(identity.modified.toString(QStringLiteral("yyyyMMddHHmmss")));
}

quint32 crc32Of(QFile &file)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    while (!file.atEnd()) {
        const QByteArray block = file.read(1 << 20);
        if (block.isEmpty())
            break;
        for (const char byte : block)
            crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

// The digest of a local file in lower-case hex, by the name a server gives the algorithm.
QString localDigest(const QString &path, const QString &algorithm)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (algorithm == u"CRC32")
        return QString::number(crc32Of(file), 16).rightJustified(8, QLatin1Char('0'));
    const QCryptographicHash::Algorithm kind = algorithm == u"SHA-256" ? QCryptographicHash::Sha256
                                               : algorithm == u"SHA-1" ? QCryptographicHash::Sha1
                                                                       : QCryptographicHash::Md5;
    QCryptographicHash hash(kind);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

// The first word of a reply's text that is all hex digits of a digest's length or more.
QString digestIn(const QString &reply, int minimumLength)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    const QStringList words = reply.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < words.size(); ++i)
        if (words[i].size() >= minimumLength && hex.match(words[i]).hasMatch())
            return words[i].toLower();
    return {};
}

// What the server's hash of `remotePath` says of the local copy: empty when it agrees or the
// server offers no hash; else why not.
QString hashDisagreement(TcvbFTP &ftp, const QString &remotePath, const QString &localPath)
{
    const ftp::ServerFeatures &features = ftp.Features();
    struct Choice
    {
        QString algorithm;
        QByteArray command; // empty: HASH
        int length;
    };
    std::vector<Choice> choices;
    for (const QString &name : {QStringLiteral("SHA-256"), QStringLiteral("SHA-1"), QStringLiteral("MD5")})
        if (features.hashes.contains(name))
            choices.push_back({name, {}, name == u"MD5" ? 32 : name == u"SHA-1" ? 40 : 64});
    const std::array<Choice, 4> extra = {Choice{QStringLiteral("SHA-256"), "XSHA256", 64},
                                         Choice{QStringLiteral("SHA-1"), "XSHA1", 40},
                                         Choice{QStringLiteral("MD5"), "XMD5", 32},
                                         Choice{QStringLiteral("CRC32"), "XCRC", 8}};
    for (const Choice &choice : extra)
        if (features.otherCommands.contains(QString::fromLatin1(choice.command)))
            choices.push_back(choice);
    if (choices.empty())
        return {};
    const Choice &choice = choices.front();
    QString reply;
    if (choice.command.isEmpty()) {
        if (features.hashDefault != choice.algorithm &&
            !ask(ftp, "OPTS", QStringLiteral("HASH ") + choice.algorithm).startsWith(QLatin1Char('2')))
            return {};
        reply = ask(ftp, "HASH", remotePath);
    } else {
        reply = ask(ftp, choice.command, remotePath);
    }
    if (!reply.startsWith(QLatin1Char('2')))
        return {}; // no answer to hold the file against
    const QString theirs = digestIn(reply, qMin(choice.length, 8));
    if (theirs.isEmpty())
        return {};
    const QString ours = localDigest(localPath, choice.algorithm);
    if (ours == theirs.rightJustified(ours.size(), QLatin1Char('0')))
        return {};
    return choice.algorithm + QStringLiteral(" differs");
}

// True when the server takes REST for a stream transfer: offered in FEAT, or REST answered 350.
bool restAvailable(TcvbFTP &ftp)
{
    return ftp.Features().restStream || ask(ftp, "REST", QStringLiteral("0")).startsWith(QLatin1String("350"));
}

void defaultWait(const FetchContext &context, int ms)
{
    if (context.wait)
        context.wait(ms);
    else
        waitUnlessStopped(ms, context.stopped);
}

} // namespace

RetryPolicy RetryPolicy::fromSettings()
{
    RetryPolicy policy;
    policy.tries = ProgramSettings().retries();
    bool ok = false;
    const int base = qEnvironmentVariableIntValue("CVB_BACKOFF_MS", &ok);
    if (ok && base >= 0)
        policy.backOffBaseMs = base;
    return policy;
}

int RetryPolicy::backOffMs(int nextTry) const
{
    qint64 ms = backOffBaseMs;
    for (int i = 2; i < nextTry && ms < backOffMaxMs; ++i)
        ms *= 2;
    ms = qMin<qint64>(ms, backOffMaxMs);
    const qint64 quarter = ms / 4;
    if (quarter > 0)
        ms += qint64(QRandomGenerator::global()->bounded(quint32(2 * quarter + 1))) - quarter;
    return int(ms);
}

QString retryNote(const QString &what, int nextTry, int tries, int backOffMs, const QString &error)
{
    // In one pass: a path may hold "%2" itself.
    return RetryNote.arg(what, QString::number(nextTry), QString::number(tries),
                         QString::number(backOffMs / 1000.0, 'f', 1), error);
}

bool isTransientFailure(int code, const QString &text)
{
    switch (replyCodeOf(text)) {
    case 421:
    case 425:
    case 426:
    case 450:
    case 451:
        return true;
    default:
        break;
    }
    if (replyCodeOf(text) != 0)
        return false; // any other answer of the server stands
    switch (code) {
    case CIPPortMsg::kInterrupted: // closed by the server, or idle too long
    case CIPPortMsg::kTimedOut:
    case 10050: // network down
    case 10051: // network unreachable
    case 10052: // dropped on reset
    case 10053: // aborted
    case 10054: // reset by the peer
    case 10057: // not connected
    case 10058: // shut down
    case 10060: // timed out
    case 10061: // refused (a data port that was not listening yet)
    case 10064: // host down
    case 10065: // host unreachable
        return true;
    default:
        return false;
    }
}

RemoteIdentity askIdentity(TcvbFTP &ftp, const QString &remotePath)
{
    RemoteIdentity identity;
    const QString size = ask(ftp, "SIZE", remotePath);
    if (size.startsWith(QLatin1String("213 "))) {
        bool ok = false;
        const qint64 value = size.mid(4).trimmed().toLongLong(&ok);
        if (ok && value >= 0)
            identity.size = value;
    }
    const QString time = ask(ftp, "MDTM", remotePath);
    identity.modified = ftp::parseMdtmReply(time.toUtf8());
    return identity;
}

ResumableParts sweepPartFiles(const QString &folder, const QString &asIf)
{
    const QString top = QDir::cleanPath(folder);
    static const QRegularExpression unresumable(QStringLiteral("^\\..+\\.[0-9a-z]{1,13}\\.part$"));
    static const QRegularExpression resumable(QStringLiteral("^(.*/\\..+\\.)r\\d{1,19}-\\d{14}\\.part$"));
    ResumableParts parts;
    QDirIterator it(folder, {QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        const QRegularExpressionMatch match = resumable.match(path);
        if (match.hasMatch() && asIf.isEmpty())
            parts.insert(match.captured(1), path);
        else if (match.hasMatch() && match.captured(1).startsWith(top + QLatin1Char('/')))
            parts.insert(QDir::cleanPath(asIf) + match.captured(1).mid(top.size()), path);
        else if (unresumable.match(name).hasMatch())
            QFile::remove(path);
    }
    return parts;
}

void removeParts(const ResumableParts &parts)
{
    for (const QString &path : parts)
        QFile::remove(path);
}

bool vanishedFromServer(TcvbFTP &ftp, const QString &remotePath)
{
    const QString reply = ftp.Features().mlsd ? ask(ftp, "MLST", remotePath) : ask(ftp, "SIZE", remotePath);
    return replyCodeOf(reply) == 550;
}

void waitUnlessStopped(int ms, const std::function<bool()> &stopped)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms && !(stopped && stopped())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(ulong(qBound(qint64(0), qint64(ms) - elapsed.elapsed(), qint64(20))));
    }
}

FetchResult fetchFile(TcvbFTP &ftp, const FetchRequest &request, const FetchContext &context)
{
    FetchResult result;
    const auto stopped = [&context] { return context.stopped && context.stopped(); };
    RemoteIdentity identity = request.listed;
    try {
        if (context.snapshot &&
            context.snapshot->beforeFetch(ftp, request.remotePath, request.localFile, &identity.size,
                                          &identity.modified, &result.record)) {
            result.kind = FetchResult::Copied;
            return result;
        }
        // A backup is an exact copy: every file goes in binary, and only binary files resume.
        ftp.SetTransferMode(tmBinary);
        std::unique_ptr<PartFile> part;
        const QString earlier =
            context.parts ? context.parts->value(PartFile::resumablePrefix(request.localFile)) : QString();
        if (!earlier.isEmpty()) {
            // An earlier run left part of this file: it goes on only when the file is unchanged.
            if (!identity.known()) {
                const RemoteIdentity asked = askIdentity(ftp, request.remotePath);
                if (identity.size < 0)
                    identity.size = asked.size;
                identity.modified = asked.modified;
            }
            // By name: the part may lie in the folder of an earlier run.
            if (identity.known() &&
                QFileInfo(earlier).fileName() ==
                    QFileInfo(PartFile::resumablePath(request.localFile, identityTag(identity))).fileName())
                part = std::make_unique<PartFile>(request.localFile, earlier);
            else
                QFile::remove(earlier);
        }
        if (!part && identity.known()) {
            part = std::make_unique<PartFile>(request.localFile,
                                              PartFile::resumablePath(request.localFile, identityTag(identity)));
            part->truncate();
        }
        if (!part)
            part = std::make_unique<PartFile>(request.localFile);

        bool mayResume = true;
        Sha256 received;
        for (int attempt = 1;; ++attempt) {
            const qint64 have = part->size();
            qint64 start = 0;
            if (have > 0 && mayResume && restAvailable(ftp)) {
                start = have;
                result.notes << ResumeNote.arg(request.remotePath, QString::number(have));
            } else if (have > 0) {
                part->truncate();
            }
            int code = 0;
            QString error;
            // A whole download is hashed as its bytes arrive, for the manifest; the end of the
            // backup reads the file back against that.
            const bool hashing = context.snapshot && start == 0;
            received.reset();
            if (hashing)
                ftp.OnFileBytes = [&received](const QByteArray &bytes) { received.add(bytes.constData(), bytes.size()); };
            try {
                ftp.SetStartByte(start);
                ftp.SetRemoteFile(request.remotePath);
                ftp.SetLocalFile(part->path());
                ftp.SetAction(ftpDownload);
            } catch (const EcvbFTP &e) {
                code = e.Code();
                error = e.Message();
            }
            ftp.OnFileBytes = nullptr;
            ftp.SetStartByte(0);
            result.received += qMax<qint64>(0, part->size() - start);
            if (code == 0) {
                if (start > 0) {
                    // A resumed file is checked before it replaces the target.
                    QString why;
                    if (identity.size >= 0 && part->size() != identity.size)
                        why = QStringLiteral("%1 bytes, not %2").arg(part->size()).arg(identity.size);
                    else
                        why = hashDisagreement(ftp, request.remotePath, part->path());
                    if (!why.isEmpty()) {
                        result.notes << MismatchNote.arg(request.remotePath, why);
                        part->truncate();
                        mayResume = false;
                        --attempt; // the whole file once more, whatever the tries
                        continue;
                    }
                }
                part->replaceTarget();
                const QByteArray digest = hashing ? received.hex() : QByteArray();
                if (context.snapshot && !context.snapshot->afterFetch(request.localFile, identity.modified, digest,
                                                                      &result.record, &result.error)) {
                    result.kind = FetchResult::LocalFailed;
                    return result;
                }
                result.kind = FetchResult::Copied;
                return result;
            }
            result.code = code;
            result.error = error;
            const bool transient = !stopped() && isTransientFailure(code, error);
            if (!transient) {
                if (!stopped() && replyCodeOf(error) == 550 && !request.mayBeFolder &&
                    vanishedFromServer(ftp, request.remotePath))
                    result.kind = FetchResult::Vanished;
                return result;
            }
            if (attempt >= context.policy.tries) {
                // What arrived waits for the next run, under a name that tells what it was a part of.
                if (part->size() > 0) {
                    if (!identity.known()) {
                        identity = askIdentity(ftp, request.remotePath);
                        if (identity.known())
                            part->renameTo(PartFile::resumablePath(request.localFile, identityTag(identity)));
                    }
                    if (identity.known())
                        part->keep();
                }
                return result;
            }
            const int ms = context.policy.backOffMs(attempt + 1);
            result.notes << retryNote(request.remotePath, attempt + 1, context.policy.tries, ms, error);
            defaultWait(context, ms);
            // A stopped backup leaves no temporary file behind.
            if (stopped())
                return result;
        }
    } catch (const LocalFileError &e) {
        result.kind = FetchResult::LocalFailed;
        result.error = QString::fromStdString(e.what());
    } catch (const std::exception &e) {
        result.kind = FetchResult::RemoteFailed;
        result.error = messageOf(e);
    }
    return result;
}

} // namespace cvb
