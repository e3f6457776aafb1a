#include "socket/SocketNotify.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace cvb {

namespace {

const QEvent::Type kNotifyEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kPassEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct NotifyEvent : QEvent
{
    NotifyEvent(unsigned m, std::uintptr_t w, std::uint32_t l, quint64 gen, bool sock)
        : QEvent(kNotifyEventType), msg(m), wParam(w), lParam(l), generation(gen), socketMessage(sock)
    {
    }
    unsigned msg;
    std::uintptr_t wParam;
    std::uint32_t lParam;
    quint64 generation;
    bool socketMessage;
};

// Which sink watches which socket; the library looks sinks up here.
std::mutex g_registryMutex;
std::map<TSocket, CSocketNotify *> g_registry;

// Sinks with a running wait, innermost last, with the event loop level the wait runs at. Each
// thread has its own: a transfer connection of a backup waits on a thread of its own.
struct RunningWait
{
    CSocketNotify *sink;
    int loopLevel;
};
thread_local std::vector<RunningWait> g_runningWaits;

// Windows close on the main thread only; the watcher of their closing is installed from there.
bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

int loopLevel()
{
    return QThread::currentThread()->loopLevel();
}

bool isAncestor(const QObject *ancestor, const QObject *object)
{
    for (; object; object = object->parent())
        if (object == ancestor)
            return true;
    return false;
}

// Turns the closing of a window into an interrupt of the running wait of a component that the
// window owns: closing the window that waits for a server ends that wait. Another window that
// closes meanwhile (a backup window whose backup is done, while another backup waits for a
// reply) interrupts nothing. The close reaches the window object (QWindow) and then the widget.
class CloseWatcher : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        // Only a close that the wait itself dispatches counts; a dialog running its own
        // loop inside the wait may close without ending it.
        if (e->type() != QEvent::Close || !(watched->isWindowType() || watched->isWidgetType()) ||
            g_runningWaits.empty() || g_runningWaits.back().loopLevel != loopLevel())
            return false;
        for (auto it = g_runningWaits.rbegin(); it != g_runningWaits.rend(); ++it) {
            if (isAncestor(watched, it->sink)) {
                it->sink->Interrupt();
                break;
            }
        }
        return false;
    }
};

CloseWatcher *closeWatcher()
{
    static CloseWatcher watcher;
    return &watcher;
}

constexpr int kNoInterrupt = 1 << 30;

} // namespace

struct CSocketNotify::Watch
{
    TSocket socket = kInvalidSocket;
    unsigned msg = 0;
    long events = 0;
    quint64 generation = 0;
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
    bool connecting = false;
    bool listening = false;
    bool ended = false; // the peer closed or the connection broke

    bool wantsRead() const { return events & (ws::FD_READ_ | ws::FD_CLOSE_); }
};

CSocketNotify::CSocketNotify(QObject *parent) : QObject(parent), m_idleTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("SocketNotify"));
    m_idleTimer->setObjectName(QStringLiteral("IdleTimer"));
    m_idleTimer->setSingleShot(true);
    m_idleTimer->setTimerType(Qt::PreciseTimer);
    m_activity.start();
}

CSocketNotify::~CSocketNotify()
{
    std::lock_guard lock(g_registryMutex);
    for (auto it = g_registry.begin(); it != g_registry.end();) {
        if (it->second == this)
            it = g_registry.erase(it);
        else
            ++it;
    }
    g_runningWaits.erase(std::remove_if(g_runningWaits.begin(), g_runningWaits.end(),
                                        [this](const RunningWait &w) { return w.sink == this; }),
                         g_runningWaits.end());
}

void CSocketNotify::AddClient(TSocketClient *client)
{
    if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end())
        m_clients.push_back(client);
}

void CSocketNotify::RemoveClient(TSocketClient *client)
{
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
}

CSocketNotify *CSocketNotify::ForSocket(TSocket socket)
{
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(socket);
    return it == g_registry.end() ? nullptr : it->second;
}

CSocketNotify::Watch *CSocketNotify::Find(TSocket socket)
{
    auto it = m_watches.find(socket);
    return it == m_watches.end() ? nullptr : it->second.get();
}

void CSocketNotify::Select(TSocket socket, unsigned msg, long events)
{
    if (events == 0) {
        SocketClosed(socket);
        return;
    }
    const int flags = ::fcntl(socket, F_GETFL);
    ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);

    Watch *w = Find(socket);
    if (!w) {
        // A socket belongs to one sink at a time.
        CSocketNotify *previous = nullptr;
        {
            std::lock_guard lock(g_registryMutex);
            auto it = g_registry.find(socket);
            if (it != g_registry.end() && it->second != this)
                previous = it->second;
            g_registry[socket] = this;
        }
        if (previous)
            previous->m_watches.erase(socket);
        auto created = std::make_unique<Watch>();
        w = created.get();
        w->socket = socket;
        w->generation = m_nextGeneration++;
        w->read = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        w->write = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
        w->read->setEnabled(false);
        w->write->setEnabled(false);
        connect(w->read.get(), &QSocketNotifier::activated, this, [this, socket] { ReadReady(socket); });
        connect(w->write.get(), &QSocketNotifier::activated, this, [this, socket] { WriteReady(socket); });
        m_watches[socket] = std::move(created);
    }
    w->msg = msg;
    w->events = events;

    int accepting = 0;
    socklen_t len = sizeof accepting;
    w->listening = ::getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &len) == 0 && accepting;
    sockaddr_storage peer{};
    socklen_t peerLen = sizeof peer;
    const bool connected = ::getpeername(socket, reinterpret_cast<sockaddr *>(&peer), &peerLen) == 0;
    if (w->listening) {
        w->read->setEnabled(events & ws::FD_ACCEPT_);
    } else if (connected && !w->connecting) {
        w->read->setEnabled(w->wantsRead() && !w->ended);
        if (events & ws::FD_WRITE_)
            Post(*w, ws::FD_WRITE_);
    }
}

void CSocketNotify::ConnectStarted(TSocket socket)
{
    if (Watch *w = Find(socket)) {
        w->connecting = true;
        w->read->setEnabled(false);
        w->write->setEnabled(true);
    }
}

void CSocketNotify::ConnectedAtOnce(TSocket socket)
{
    if (Watch *w = Find(socket)) {
        if (w->events & ws::FD_CONNECT_)
            Post(*w, ws::FD_CONNECT_);
        if (w->events & ws::FD_WRITE_)
            Post(*w, ws::FD_WRITE_);
        w->read->setEnabled(w->wantsRead());
    }
}

void CSocketNotify::ReceiveCalled(TSocket socket)
{
    Watch *w = Find(socket);
    if (w && !w->listening && !w->connecting && !w->ended)
        w->read->setEnabled(w->wantsRead());
}

void CSocketNotify::SendBlocked(TSocket socket)
{
    Watch *w = Find(socket);
    if (w && !w->connecting && (w->events & ws::FD_WRITE_))
        w->write->setEnabled(true);
}

void CSocketNotify::AcceptCalled(TSocket socket)
{
    Watch *w = Find(socket);
    if (w && w->listening)
        w->read->setEnabled(w->events & ws::FD_ACCEPT_);
}

void CSocketNotify::SocketClosed(TSocket socket)
{
    m_watches.erase(socket);
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(socket);
    if (it != g_registry.end() && it->second == this)
        g_registry.erase(it);
}

void CSocketNotify::ReadReady(TSocket socket)
{
    Watch *w = Find(socket);
    if (!w)
        return;
    // Level-triggered: stay quiet until the owner takes the data (or accepts).
    w->read->setEnabled(false);
    if (w->listening) {
        Post(*w, ws::FD_ACCEPT_);
        return;
    }
    char byte;
    const ssize_t n = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        if (w->events & ws::FD_READ_)
            Post(*w, ws::FD_READ_);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        w->read->setEnabled(true);
        return;
    }
    if (n < 0 && errno == ENOTCONN)
        return;
    w->ended = true;
    const int code = n == 0 ? 0 : WinsockErrorFromErrno(errno);
    if (w->events & ws::FD_CLOSE_)
        Post(*w, ws::FD_CLOSE_ | (static_cast<std::uint32_t>(code) << 16));
}

void CSocketNotify::WriteReady(TSocket socket)
{
    Watch *w = Find(socket);
    if (!w)
        return;
    w->write->setEnabled(false);
    if (!w->connecting) {
        Post(*w, ws::FD_WRITE_);
        return;
    }
    w->connecting = false;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        error = errno;
    const int code = error == 0 ? 0 : WinsockErrorFromErrno(error);
    if (w->events & ws::FD_CONNECT_)
        Post(*w, ws::FD_CONNECT_ | (static_cast<std::uint32_t>(code) << 16));
    if (code == 0) {
        w->read->setEnabled(w->wantsRead());
        if (w->events & ws::FD_WRITE_)
            Post(*w, ws::FD_WRITE_);
    }
}

void CSocketNotify::Post(Watch &w, std::uint32_t event)
{
    QCoreApplication::postEvent(
        this, new NotifyEvent(w.msg, static_cast<std::uintptr_t>(w.socket), event, w.generation, true));
}

void CSocketNotify::PostSocketMessage(unsigned msg, TSocket socket, std::uint32_t event)
{
    Watch *w = Find(socket);
    if (!w)
        return;
    QCoreApplication::postEvent(
        this, new NotifyEvent(msg, static_cast<std::uintptr_t>(socket), event, w->generation, true));
}

void CSocketNotify::PostMessage(unsigned msg, std::uintptr_t wParam, std::uint32_t lParam)
{
    QCoreApplication::postEvent(this, new NotifyEvent(msg, wParam, lParam, 0, false));
}

void CSocketNotify::RequestPass()
{
    if (m_passPending)
        return;
    m_passPending = true;
    QCoreApplication::postEvent(this, new QEvent(kPassEventType));
}

bool CSocketNotify::event(QEvent *e)
{
    if (e->type() == kPassEventType) {
        m_passPending = false;
        return true;
    }
    if (e->type() != kNotifyEventType)
        return QObject::event(e);
    auto *n = static_cast<NotifyEvent *>(e);
    if (!n->socketMessage) {
        if (OnMessage)
            OnMessage(n->msg, n->wParam, n->lParam);
        return true;
    }
    const auto socket = static_cast<TSocket>(n->wParam);
    Watch *w = Find(socket);
    // A notification for a socket closed after it was posted is stale: the number may
    // already belong to a new socket.
    if (!w || w->generation != n->generation)
        return true;
    NoteActivity();
    Deliver(n->msg, socket, n->lParam);
    return true;
}

void CSocketNotify::Deliver(unsigned msg, TSocket socket, std::uint32_t event)
{
    if (msg != ws::kSocketMessage)
        return;
    const std::vector<TSocketClient *> clients = m_clients;
    for (TSocketClient *client : clients) {
        if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end())
            continue;
        // No caller waits for a notification: failures go to the client's error event.
        try {
            client->HandleSocketMessage(socket, event);
        } catch (const EcvbComponent &error) {
            client->NotificationFailed(error.Code(), error.Text());
        } catch (const std::exception &error) {
            client->NotificationFailed(0, QString::fromLocal8Bit(error.what()));
        }
    }
}

int CSocketNotify::BeginWait()
{
    if (g_runningWaits.empty() && onMainThread())
        QCoreApplication::instance()->installEventFilter(closeWatcher());
    g_runningWaits.push_back({this, loopLevel()});
    // The idle clock starts with the outermost wait: a component that sat idle before it is
    // not idle now. Inner and repeated short waits (a pass at a time) must not restart it,
    // or a wait made of many passes would never reach its limit.
    if (m_waitDepth == 0)
        NoteActivity();
    return ++m_waitDepth;
}

void CSocketNotify::EndWait()
{
    --m_waitDepth;
    if (m_waitDepth <= m_interruptFloor)
        m_interruptFloor = kNoInterrupt;
    if (m_waitDepth == 0)
        m_idleTimer->stop();
    auto it = std::find_if(g_runningWaits.rbegin(), g_runningWaits.rend(),
                           [this](const RunningWait &w) { return w.sink == this; });
    if (it != g_runningWaits.rend())
        g_runningWaits.erase(std::next(it).base());
    if (g_runningWaits.empty() && onMainThread())
        QCoreApplication::instance()->removeEventFilter(closeWatcher());
}

void CSocketNotify::Interrupt(int waits)
{
    if (m_waitDepth == 0)
        return;
    m_interruptFloor = std::min(m_interruptFloor, std::max(0, m_waitDepth - waits));
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

void CSocketNotify::WakeAfter(qint64 ms)
{
    if (!m_idleTimer->isActive() || m_idleTimer->remainingTime() > ms)
        m_idleTimer->start(static_cast<int>(std::clamp<qint64>(ms, 1, 24 * 3600 * 1000)));
}

} // namespace cvb
