#include "tests/support/SmtpServer.h"

#include "tests/support/Peers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

namespace cvb::test {

QByteArray maskedMessageId(const QByteArray &message)
{
    static const QRegularExpression id(QStringLiteral("^Message-ID: <[^>\\r\\n]*>\\r$"),
                                       QRegularExpression::MultilineOption);
    return QString::fromUtf8(message).replace(id, QStringLiteral("Message-ID: <ID>\r")).toUtf8();
}

SmtpServer::SmtpServer(const QStringList &refused)
    : SmtpServer([&] {
          SmtpServerOptions options;
          options.refused = refused;
          return options;
      }())
{
}

SmtpServer::SmtpServer(const SmtpServerOptions &options)
{
    QStringList args{sourcePath("tests/support/smtp_sink.py"), QString(), m_dir.path()};
    for (const QString &address : options.refused)
        args << "--refuse" << address;
    if (options.tls == SmtpServerOptions::Tls::StartTls)
        args << "--starttls" << options.pemFile;
    else if (options.tls == SmtpServerOptions::Tls::Implicit)
        args << "--implicit-tls" << options.pemFile;
    if (!options.user.isEmpty())
        args << "--account" << options.user << options.password;
    if (options.authOverPlain)
        args << "--auth-over-plain";
    if (options.loginOnly)
        args << "--no-plain-auth";
    // A free port may be taken by another test in the meantime: try a few.
    for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
        m_port = freePort();
        args[1] = QString::number(m_port);
        m_process.start(python(), args);
        if (!m_process.waitForStarted(10000))
            return;
        while (m_process.state() == QProcess::Running && !m_ready) {
            if (m_process.waitForReadyRead(15000))
                m_ready = m_process.readAllStandardOutput().contains("READY");
            else
                break;
        }
        if (!m_ready) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
}

SmtpServer::~SmtpServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
}

QString SmtpServer::FileOf(int n) const
{
    return m_dir.filePath(QString::number(n) + ".eml");
}

int SmtpServer::Count() const
{
    return int(QDir(m_dir.path()).entryList({"*.eml"}, QDir::Files).size());
}

QByteArray SmtpServer::Transcript() const
{
    QFile file(m_dir.filePath("transcript"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString SmtpServer::Errors()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

ReceivedMail SmtpServer::WaitMessage(int n, int timeoutMs) const
{
    ReceivedMail mail;
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(FileOf(n)) && timer.elapsed() < timeoutMs)
        QThread::msleep(20);
    QFile message(FileOf(n));
    QFile envelope(m_dir.filePath(QString::number(n) + ".envelope"));
    if (!message.open(QIODevice::ReadOnly) || !envelope.open(QIODevice::ReadOnly))
        return mail;
    mail.message = message.readAll();
    const QJsonObject json = QJsonDocument::fromJson(envelope.readAll()).object();
    mail.helo = json.value("helo").toString();
    mail.mailFrom = json.value("mail_from").toString();
    mail.tls = json.value("tls").toBool();
    mail.user = json.value("user").toString();
    for (const QJsonValue &to : json.value("rcpt_tos").toArray())
        mail.rcptTos << to.toString();
    return mail;
}

} // namespace cvb::test
