#include "remote/Manifest.h"

#include "ftp/ListingParser.h"
#include "ftp/PartFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>
#include <vector>

namespace cvb {

namespace {

const QByteArray kHeading = "corvale-backup manifest 1";
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ssZ");
const QString kModifiedFormat = QStringLiteral("yyyyMMddHHmmss");

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescaped(const QByteArray &field, QString *text)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size())
            return false;
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return false;
        }
    }
    *text = QString::fromUtf8(out);
    return true;
}

bool isSha256Hex(const QByteArray &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(QString::fromLatin1(text)).hasMatch();
}

// Reads one "file" line's fields; false when they are no such line.
bool readFileLine(const QList<QByteArray> &fields, QString *path, ManifestEntry *entry)
{
    if (fields.size() != 5)
        return false;
    bool ok = false;
    entry->size = fields[1].toLongLong(&ok);
    if (!ok || entry->size < 0)
        return false;
    if (fields[2] != "-") {
        // Read as the listing's times are: a parse through a format asks for the local zone
        // every time, which a manifest of thousands of lines notices.
        entry->modified = fields[2].size() == 14 ? ftp::parseFactTime(QString::fromLatin1(fields[2])) : QDateTime();
        if (!entry->modified.isValid())
            return false;
    }
    entry->sha256 = fields[3];
    return isSha256Hex(entry->sha256) && unescaped(fields[4], path) && !path->isEmpty();
}

QString manifestPath(const QString &folder)
{
    return QDir(folder).filePath(ManifestFileName);
}

} // namespace

bool isBackupBookkeeping(const QString &relativePath)
{
    if (relativePath == ManifestFileName)
        return true;
    static const QRegularExpression part(QStringLiteral("(^|/)\\.[^/]+\\.[0-9a-z-]+\\.part$"));
    return part.match(relativePath).hasMatch();
}

QString writeManifest(const QString &folder, const Manifest &manifest)
{
    QByteArray text = kHeading + '\n';
    text += "profile\t" + escaped(manifest.profile) + '\n';
    text += "server\t" + escaped(manifest.server) + '\n';
    text += "time\t" + manifest.written.toUTC().toString(kTimeFormat).toLatin1() + '\n';
    for (auto it = manifest.files.cbegin(); it != manifest.files.cend(); ++it) {
        const ManifestEntry &entry = it.value();
        const QByteArray modified =
            entry.modified.isValid() ? entry.modified.toUTC().toString(kModifiedFormat).toLatin1() : "-";
        text += "file\t" + QByteArray::number(entry.size) + '\t' + modified + '\t' + entry.sha256 + '\t' +
                escaped(it.key()) + '\n';
    }
    text += "end\t" + QByteArray::number(manifest.files.size()) + '\n';

    const QString target = manifestPath(folder);
    try {
        PartFile part(target);
        QFile file(part.path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
            !file.flush() || ::fsync(file.handle()) != 0)
            return QStringLiteral("The manifest %1 could not be written: %2").arg(target, file.errorString());
        file.close();
        part.replaceTarget();
    } catch (const LocalFileError &e) {
        return QStringLiteral("The manifest %1 could not be written: %2")
            .arg(target, QString::fromUtf8(e.what()));
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

bool readManifest(const QString &folder, Manifest *manifest, QString *error)
{
    const QString path = manifestPath(folder);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.exists()
                     ? QStringLiteral("The manifest %1 cannot be read: %2").arg(path, file.errorString())
                     : QStringLiteral("%1 holds no manifest (%2): it is no complete backup.")
                           .arg(folder, ManifestFileName);
        return false;
    }
    QList<QByteArray> lines = file.readAll().split('\n');
    const auto broken = [&](qsizetype index) {
        *error = QStringLiteral("The manifest %1 is damaged at line %2.").arg(path).arg(index + 1);
        return false;
    };
    // A whole file ends with a line feed: its last piece is empty.
    if (lines.size() < 6 || !lines.last().isEmpty())
        return broken(std::max<qsizetype>(0, lines.size() - 1));
    lines.removeLast();
    if (lines[0] != kHeading)
        return broken(0);
    Manifest read;
    const QList<QByteArray> profile = lines[1].split('\t');
    const QList<QByteArray> server = lines[2].split('\t');
    const QList<QByteArray> time = lines[3].split('\t');
    if (profile.size() != 2 || profile[0] != "profile" || !unescaped(profile[1], &read.profile))
        return broken(1);
    if (server.size() != 2 || server[0] != "server" || !unescaped(server[1], &read.server))
        return broken(2);
    if (time.size() != 2 || time[0] != "time")
        return broken(3);
    read.written = QDateTime::fromString(QString::fromLatin1(time[1]), kTimeFormat);
    if (!read.written.isValid())
        return broken(3);
    read.written.setTimeZone(QTimeZone::utc());
    const qsizetype endLine = lines.size() - 1;
    for (qsizetype i = 4; i < endLine; ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        QString file;
        ManifestEntry entry;
        if (fields[0] != "file" || !readFileLine(fields, &file, &entry) || read.files.contains(file))
            return broken(i);
        read.files.insert(file, entry);
    }
    const QList<QByteArray> end = lines[endLine].split('\t');
    if (end.size() != 2 || end[0] != "end" || end[1] != QByteArray::number(read.files.size()))
        return broken(endLine);
    *manifest = read;
    return true;
}

bool removeManifest(const QString &folder)
{
    const QByteArray path = QFile::encodeName(manifestPath(folder));
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

struct Sha256::Context
{
    EVP_MD_CTX *digest = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>())
{
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    m_ok = m_context->digest && EVP_DigestInit_ex(m_context->digest, EVP_sha256(), nullptr) == 1;
}

void Sha256::add(const char *data, qint64 length)
{
    if (m_ok && length > 0)
        m_ok = EVP_DigestUpdate(m_context->digest, data, std::size_t(length)) == 1;
}

QByteArray Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool ok = m_ok && EVP_DigestFinal_ex(m_context->digest, digest, &length) == 1;
    reset();
    return ok ? QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex() : QByteArray();
}

QByteArray fileSha256(const QString &path, QString *error)
{
    QFile file(path);
    Sha256 hash;
    bool ok = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    std::vector<char> block(256 * 1024);
    while (ok) {
        const qint64 n = file.read(block.data(), qint64(block.size()));
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        hash.add(block.data(), n);
    }
    const QByteArray digest = ok ? hash.hex() : QByteArray();
    if (digest.isEmpty() && error)
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    return digest;
}

FolderCheck checkFolder(const QString &folder, const Manifest &manifest, bool lookForExtra,
                        const QSet<QString> &bySize)
{
    FolderCheck check;
    const QDir top(folder);
    for (auto it = manifest.files.cbegin(); it != manifest.files.cend(); ++it) {
        const QString path = top.filePath(it.key());
        const QFileInfo info(path);
        if (!info.isFile())
            check.missing << it.key();
        else if (info.size() != it->size || (!bySize.contains(it.key()) && fileSha256(path) != it->sha256))
            check.changed << it.key();
    }
    if (lookForExtra) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString relative = top.relativeFilePath(files.next());
            if (!manifest.files.contains(relative) && !isBackupBookkeeping(relative))
                check.extra << relative;
        }
        check.extra.sort();
    }
    return check;
}

QString newestCompleteBackup(const QStringList &candidates, const QString &profile, Manifest *base)
{
    QString newest;
    for (const QString &folder : candidates) {
        Manifest manifest;
        QString error;
        if (!readManifest(folder, &manifest, &error) || manifest.profile != profile)
            continue;
        if (newest.isEmpty() || manifest.written > base->written) {
            newest = folder;
            *base = manifest;
        }
    }
    return newest;
}

} // namespace cvb
