#include "tests/support/TestCertificate.h"

#include "tests/support/Peers.h"

#include <QFile>

namespace cvb::test {

TestCertificate::TestCertificate(const QString &commonName)
{
    const QString key = m_dir.filePath(QStringLiteral("key.pem"));
    const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
    const ProcessResult made = runProcess(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"),
         QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
         QStringLiteral("-addext"), QStringLiteral("subjectAltName=DNS:%1,IP:127.0.0.1").arg(commonName)});
    if (made.exitCode != 0) {
        m_error = QString::fromUtf8(made.err);
        return;
    }
    QFile pem(pemFile());
    QFile certFile(cert);
    QFile keyFile(key);
    if (!pem.open(QIODevice::WriteOnly) || !certFile.open(QIODevice::ReadOnly) ||
        !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot write ") + pemFile();
        return;
    }
    pem.write(certFile.readAll() + keyFile.readAll());
    pem.close();
    // vsftpd reads it as the system user it serves as.
    pem.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const ProcessResult print =
        runProcess(QStringLiteral("openssl"),
                   {QStringLiteral("x509"), QStringLiteral("-in"), cert, QStringLiteral("-noout"),
                    QStringLiteral("-fingerprint"), QStringLiteral("-sha256")});
    const QString line = QString::fromUtf8(print.out).trimmed();
    m_fingerprint = line.mid(line.indexOf(QLatin1Char('=')) + 1);
    if (print.exitCode != 0 || m_fingerprint.size() != 95) {
        m_error = QString::fromUtf8(print.err) + line;
        m_fingerprint.clear();
    }
}

} // namespace cvb::test
