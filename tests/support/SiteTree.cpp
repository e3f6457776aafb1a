#include "tests/support/SiteTree.h"

#include "tests/support/Files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include <stdexcept>

namespace cvb::test {

namespace {

void writeSiteFile(const QString &path, const QByteArray &bytes)
{
    if (!writeFile(path, bytes))
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray textBytes(quint32 seed, int lines)
{
    QRandomGenerator rng(seed);
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        text += "<p>Line " + QByteArray::number(i) + " of page " + QByteArray::number(seed);
        const int words = int(rng.bounded(12));
        for (int w = 0; w < words; ++w)
            text += " word" + QByteArray::number(rng.bounded(1000));
        text += "</p>\n";
    }
    return text;
}

QByteArray binaryBytes(quint32 seed, qint64 size)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    // Whole words of random data, then the tail; CR and LF occur like any other byte.
    const qint64 words = size / 4;
    rng.fillRange(reinterpret_cast<quint32 *>(bytes.data()), words);
    for (qint64 i = words * 4; i < size; ++i)
        bytes[i] = char(rng.bounded(256));
    if (size >= 4)
        bytes.replace(0, 4, QByteArray("\r\n\n\r", 4));
    return bytes;
}

QString number(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QStringList entriesBelow(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        names << QDir(root).relativeFilePath(path) +
                     (it.fileInfo().isDir() ? QStringLiteral("/") : QString());
    }
    names.sort();
    return names;
}

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : entriesBelow(from)) {
        if (name.endsWith(QLatin1Char('/')))
            QDir().mkpath(to + QLatin1Char('/') + name);
        else
            QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    }
}

} // namespace

int buildSampleSite(const QString &root, qint64 bigFileBytes)
{
    int files = 0;
    const auto text = [&](const QString &rel, quint32 seed, int lines) {
        writeSiteFile(root + QLatin1Char('/') + rel, textBytes(seed, lines));
        ++files;
    };
    const auto binary = [&](const QString &rel, quint32 seed, qint64 size) {
        writeSiteFile(root + QLatin1Char('/') + rel, binaryBytes(seed, size));
        ++files;
    };
    quint32 seed = 1;
    text(QStringLiteral("www/index.html"), seed++, 40);
    writeSiteFile(root + QStringLiteral("/www/not-a-source.html"), textBytes(999, 3));

    const QString site = QStringLiteral("www/site/");
    text(site + QStringLiteral("index.html"), seed++, 60);
    text(site + QStringLiteral("about us.html"), seed++, 20);
    text(site + QStringLiteral("README"), seed++, 5);
    text(site + QStringLiteral("robots.txt"), seed++, 3);
    text(site + QStringLiteral("data.dat"), seed++, 30);
    binary(site + QStringLiteral(".htaccess"), seed++, 300);
    binary(site + QStringLiteral("img/logo.gif"), seed++, 4000);
    binary(site + QStringLiteral("img/.htaccess"), seed++, 120);
    for (int i = 0; i < 40; ++i)
        binary(site + QStringLiteral("img/photo %1.jpg").arg(number(i)), seed++, 1000 + 97 * i);
    for (int i = 0; i < 30; ++i)
        binary(site + QStringLiteral("img/thumbs/t%1.png").arg(number(i)), seed++, 200 + 31 * i);
    for (int i = 0; i < 60; ++i)
        text(site + QStringLiteral("pages/page %1.html").arg(number(i)), seed++, 5 + i);
    for (int i = 0; i < 20; ++i)
        text(site + QStringLiteral("pages/archive/2025/old%1.htm").arg(number(i)), seed++, 10);
    text(site + QStringLiteral("pages/archive/notes.txt"), seed++, 7);
    QDir().mkpath(root + QLatin1Char('/') + site + QStringLiteral("empty folder"));
    binary(site + QStringLiteral("downloads/big file.zip"), seed++, bigFileBytes);
    binary(site + QStringLiteral("downloads/manual.pdf"), seed++, 70000);

    binary(QStringLiteral("cgi-bin/.htaccess"), seed++, 90);
    binary(QStringLiteral("cgi-bin/form.pl"), seed++, 2500);
    for (int i = 0; i < 20; ++i)
        binary(QStringLiteral("cgi-bin/tool%1.cgi").arg(number(i)), seed++, 500 + i);
    for (int i = 0; i < 20; ++i)
        binary(QStringLiteral("cgi-bin/lib/mod%1.pm").arg(number(i)), seed++, 800 + i);
    return files;
}

QStringList treeDifferences(const QString &expected, const QString &actual)
{
    QStringList differences;
    const QStringList want = entriesBelow(expected);
    const QStringList have = entriesBelow(actual);
    for (const QString &name : want) {
        if (!have.contains(name))
            differences << QStringLiteral("missing: ") + name;
        else if (!name.endsWith(QLatin1Char('/'))) {
            QFile a(expected + QLatin1Char('/') + name);
            QFile b(actual + QLatin1Char('/') + name);
            if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size()) {
                differences << QStringLiteral("differs: ") + name;
                continue;
            }
            while (!a.atEnd()) {
                if (a.read(1 << 20) != b.read(1 << 20)) {
                    differences << QStringLiteral("differs: ") + name;
                    break;
                }
            }
        }
    }
    for (const QString &name : have) {
        // The manifest of a backup folder is no file of the site.
        if (!want.contains(name) && name != QLatin1String(".corvale-manifest"))
            differences << QStringLiteral("extra: ") + name;
    }
    return differences;
}

void copyExpectedBackup(const QString &siteRoot, const QString &target)
{
    QDir().mkpath(target);
    QFile::copy(siteRoot + QStringLiteral("/www/index.html"), target + QStringLiteral("/index.html"));
    copyTree(siteRoot + QStringLiteral("/www/site"), target + QStringLiteral("/site"));
    copyTree(siteRoot + QStringLiteral("/cgi-bin"), target + QStringLiteral("/cgi-bin"));
}

} // namespace cvb::test
