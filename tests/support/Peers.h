// Helpers for tests that use real peers and helper scripts.
#pragma once
#include <QString>
#include <QStringList>

namespace cvb::test {

// Debian's python interpreter (the one that sees python3-pyftpdlib, -aiosmtpd, -dbfread).
QString python();

// Absolute path of a file in the source tree, e.g. sourcePath("tests/data/read_dbf.py").
QString sourcePath(const QString &relative);

// A TCP port on 127.0.0.1 that was free a moment ago.
int freePort();

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (at most timeoutMs) and returns what it printed.
ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs = 120000,
                         const QByteArray &stdinData = {});

} // namespace cvb::test
