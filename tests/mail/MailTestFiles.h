// Small file helpers for the mail tests.
#pragma once

#include "mail/NetCode.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace cvb::test {

// A test that runs in a folder of its own, where the composer writes its temporary files.
class InOwnFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = QDir::currentPath();
        ASSERT_TRUE(m_dir.isValid());
        QDir::setCurrent(m_dir.path());
    }
    void TearDown() override { QDir::setCurrent(m_previous); }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_previous;
};

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing: " + path.toUtf8() + ">");
}

// Encodes the file in to the file out with overwriting allowed.
inline void encodeFile(int format, const QString &in, const QString &out)
{
    TcvbNetCode coder;
    coder.SetFormat(format);
    coder.SetOverwrite(true);
    coder.SetFileName(QStringLiteral("data.bin"));
    coder.SetDecodedData(QFile::encodeName(in));
    coder.SetEncodedData({out});
    coder.SetAction(ntcEncodeToFile);
}

inline void decodeFile(int format, const QString &in, const QString &out)
{
    TcvbNetCode coder;
    coder.SetFormat(format);
    coder.SetOverwrite(true);
    coder.SetEncodedData({in});
    coder.SetDecodedData(QFile::encodeName(out));
    coder.SetAction(ntcDecodeToFile);
}

} // namespace cvb::test
