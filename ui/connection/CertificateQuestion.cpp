#include "ui/connection/CertificateQuestion.h"

namespace cvb {

QString certificateQuestion(const QString &server, const TlsCertificateInfo &certificate)
{
    // Two lines of 16 bytes each, so that the box does not break the fingerprint anywhere.
    QString fingerprint = certificate.fingerprint;
    if (fingerprint.size() == 95)
        fingerprint = fingerprint.left(47) + QLatin1Char('\n') + fingerprint.mid(48);
    return QStringLiteral("The server %1 shows a certificate that this computer cannot vouch for (%2).\n\n"
                          "Subject: %3\nIssuer: %4\nValid from %5 to %6\nSHA-256 fingerprint:\n%7\n\n"
                          "Compare the fingerprint with the one your hosting company gives you. Do you want "
                          "to trust this certificate for %1 from now on?")
        .arg(server, certificate.verifyError, certificate.subject, certificate.issuer, certificate.notBefore,
             certificate.notAfter, fingerprint);
}

QString hostKeyQuestion(const QString &server, const QString &keyType, const QString &fingerprint)
{
    return QStringLiteral(
               "The SFTP server %1 shows a host key that this computer does not know yet.\n\n"
               "Key type: %2\nSHA-256 fingerprint:\n%3\n\n"
               "Compare the fingerprint with the one your hosting company gives you (ssh-keygen -lf "
               "prints it for a key file). Do you want to trust this host key for %1 from now on?")
        .arg(server, keyType, fingerprint);
}

} // namespace cvb
