// A self-signed server certificate made for one test (openssl on the command line), with its key,
// for TLS servers on loopback.
#pragma once

#include <QString>
#include <QTemporaryDir>

namespace cvb::test {

class TestCertificate
{
public:
    // A certificate for `commonName` that is also valid for 127.0.0.1.
    explicit TestCertificate(const QString &commonName = QStringLiteral("localhost"));

    bool ok() const { return !m_fingerprint.isEmpty(); }
    QString error() const { return m_error; }
    // One PEM file with the certificate and then its key.
    QString pemFile() const { return m_dir.filePath(QStringLiteral("server.pem")); }
    // SHA-256 of the certificate as openssl prints it ("AB:CD:...").
    QString fingerprint() const { return m_fingerprint; }

private:
    QTemporaryDir m_dir;
    QString m_fingerprint;
    QString m_error;
};

} // namespace cvb::test
