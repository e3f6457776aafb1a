#include "tests/support/ScriptedServer.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cvb::test {

namespace {

// No step waits longer than this for its client.
constexpr int kStepTimeoutMs = 20000;
constexpr int kPollSliceMs = 50;

} // namespace

ScriptedServer::ScriptedServer()
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 4) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        Fail(QStringLiteral("cannot listen: %1").arg(errno));
        return;
    }
    m_port = ntohs(addr.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_conn >= 0)
        ::close(m_conn);
    if (m_listen >= 0)
        ::close(m_listen);
}

ScriptedServer &ScriptedServer::Add(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

ScriptedServer &ScriptedServer::Send(const QByteArray &bytes)
{
    return Add({Step::Send, bytes, 0});
}
ScriptedServer &ScriptedServer::ExpectLine(const QByteArray &expected)
{
    return Add({Step::ExpectLine, expected, 0});
}
ScriptedServer &ScriptedServer::ExpectBytes(qint64 count)
{
    return Add({Step::ExpectBytes, {}, count});
}
ScriptedServer &ScriptedServer::ReadToEnd()
{
    return Add({Step::ReadToEnd, {}, 0});
}
ScriptedServer &ScriptedServer::Pause(int ms)
{
    return Add({Step::Pause, {}, ms});
}
ScriptedServer &ScriptedServer::Close()
{
    return Add({Step::Close, {}, 0});
}
ScriptedServer &ScriptedServer::Reset()
{
    return Add({Step::Reset, {}, 0});
}
ScriptedServer &ScriptedServer::Accept()
{
    return Add({Step::Accept, {}, 0});
}

void ScriptedServer::Start()
{
    m_thread = std::thread([this] { Run(); });
}

bool ScriptedServer::WaitDone(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!m_done && timer.elapsed() < timeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_done;
}

void ScriptedServer::StopListening()
{
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
}

bool ScriptedServer::ConnectionWaiting() const
{
    pollfd p{m_listen, POLLIN, 0};
    return m_listen >= 0 && ::poll(&p, 1, 0) > 0;
}

QByteArray ScriptedServer::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> ScriptedServer::Lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

QStringList ScriptedServer::Failures() const
{
    std::lock_guard lock(m_mutex);
    return m_failures;
}

void ScriptedServer::Fail(const QString &why)
{
    std::lock_guard lock(m_mutex);
    m_failures << why;
}

bool ScriptedServer::AcceptOne()
{
    QElapsedTimer timer;
    timer.start();
    while (!m_stop && timer.elapsed() < kStepTimeoutMs) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, kPollSliceMs) > 0) {
            m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            return m_conn >= 0;
        }
    }
    Fail(QStringLiteral("no client connected"));
    return false;
}

bool ScriptedServer::ReadSome()
{
    QElapsedTimer timer;
    timer.start();
    while (!m_stop && timer.elapsed() < kStepTimeoutMs) {
        pollfd p{m_conn, POLLIN, 0};
        if (::poll(&p, 1, kPollSliceMs) <= 0)
            continue;
        char buf[65536];
        const ssize_t n = ::recv(m_conn, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        m_pending.append(buf, n);
        std::lock_guard lock(m_mutex);
        m_received.append(buf, n);
        return true;
    }
    return false;
}

void ScriptedServer::CloseConnection(bool reset)
{
    if (m_conn < 0)
        return;
    if (reset) {
        const linger l{1, 0};
        ::setsockopt(m_conn, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    } else {
        ::shutdown(m_conn, SHUT_WR);
    }
    ::close(m_conn);
    m_conn = -1;
}

void ScriptedServer::Run()
{
    if (m_listen >= 0 && AcceptOne()) {
        for (const Step &step : m_steps) {
            if (m_stop)
                break;
            bool ok = true;
            switch (step.kind) {
            case Step::Send: {
                qint64 at = 0;
                while (ok && at < step.bytes.size()) {
                    const ssize_t n = ::send(m_conn, step.bytes.constData() + at,
                                             static_cast<size_t>(step.bytes.size() - at), MSG_NOSIGNAL);
                    ok = n > 0;
                    at += n;
                }
                if (!ok)
                    Fail(QStringLiteral("send failed"));
                break;
            }
            case Step::ExpectLine: {
                while (ok && !m_pending.contains('\n'))
                    ok = ReadSome();
                if (!ok) {
                    Fail(QStringLiteral("no line arrived"));
                    break;
                }
                const qsizetype end = m_pending.indexOf('\n');
                QByteArray line = m_pending.left(end);
                m_pending.remove(0, end + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                std::lock_guard lock(m_mutex);
                m_lines << line;
                if (!step.bytes.isEmpty() && line != step.bytes)
                    m_failures << QStringLiteral("expected line '%1', got '%2'")
                                      .arg(QString::fromLatin1(step.bytes), QString::fromLatin1(line));
                break;
            }
            case Step::ExpectBytes:
                while (ok && m_pending.size() < step.count)
                    ok = ReadSome();
                if (!ok)
                    Fail(QStringLiteral("expected %1 bytes, got %2").arg(step.count).arg(m_pending.size()));
                else
                    m_pending.remove(0, step.count);
                break;
            case Step::ReadToEnd:
                while (ReadSome()) {
                }
                m_pending.clear();
                break;
            case Step::Pause:
                for (qint64 waited = 0; waited < step.count && !m_stop; waited += 5)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                break;
            case Step::Close:
            case Step::Reset:
                CloseConnection(step.kind == Step::Reset);
                break;
            case Step::Accept:
                CloseConnection(false);
                ok = AcceptOne();
                break;
            }
            if (!ok)
                break;
        }
    }
    m_done = true;
}

} // namespace cvb::test
