// The notification sink of a component: owns the readiness watchers of its sockets and turns
// readiness into socket notifications (read 1, write 2, accept 8, connect 16, close 32, with an
// error code in the high 16 bits), delivered through the Qt event queue in the order they
// happen. It also keeps the component's wait bookkeeping: nesting depth, interrupts, activity.
#pragma once
#include "socket/Winsock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace cvb {

// A user of a sink: gets every socket notification and picks out its own sockets.
class TSocketClient
{
public:
    virtual ~TSocketClient() = default;
    virtual void HandleSocketMessage(TSocket socket, std::uint32_t event) = 0;
    // Reports a failure raised while a notification was handled; nobody waits for it.
    virtual void NotificationFailed(int code, const QString &text) = 0;
};

class CSocketNotify : public QObject
{
    Q_OBJECT
public:
    explicit CSocketNotify(QObject *parent = nullptr);
    ~CSocketNotify() override;

    void AddClient(TSocketClient *client);
    void RemoveClient(TSocketClient *client);

    // Posts a message for a socket as the library would (e.g. a read notification to
    // deliver held data). It is dropped if the socket is closed before it arrives.
    void PostSocketMessage(unsigned msg, TSocket socket, std::uint32_t event);
    // Messages other than socket notifications (results of asynchronous look-ups).
    std::function<void(unsigned msg, std::uintptr_t wParam, std::uint32_t lParam)> OnMessage;
    void PostMessage(unsigned msg, std::uintptr_t wParam, std::uint32_t lParam);

    // Used by the socket library.
    void Select(TSocket socket, unsigned msg, long events);
    void ConnectStarted(TSocket socket);
    void ConnectedAtOnce(TSocket socket);
    void ReceiveCalled(TSocket socket);
    void SendBlocked(TSocket socket);
    void AcceptCalled(TSocket socket);
    void SocketClosed(TSocket socket);
    static CSocketNotify *ForSocket(TSocket socket);

    // Waits. Depth counts the component's running waits; an interrupt ends the innermost
    // waits (up to five) that are running when it is asked for.
    int BeginWait();
    void EndWait();
    int WaitDepth() const { return m_waitDepth; }
    void Interrupt(int waits = 5);
    bool IsInterrupted(int depth) const { return depth > m_interruptFloor; }

    // Gives the running wait another pass soon (a sender that has more to send).
    void RequestPass();

    // Activity on the component's connections; every notification counts.
    void NoteActivity() { m_activity.start(); }
    qint64 IdleMs() const { return m_activity.elapsed(); }
    // Wakes the running wait after the given time (the idle limit).
    void WakeAfter(qint64 ms);

protected:
    bool event(QEvent *e) override;

private:
    struct Watch;
    Watch *Find(TSocket socket);
    void Post(Watch &w, std::uint32_t event);
    void ReadReady(TSocket socket);
    void WriteReady(TSocket socket);
    void Deliver(unsigned msg, TSocket socket, std::uint32_t event);

    std::map<TSocket, std::unique_ptr<Watch>> m_watches;
    std::vector<TSocketClient *> m_clients;
    quint64 m_nextGeneration = 1;
    bool m_passPending = false;
    int m_waitDepth = 0;
    int m_interruptFloor = 1 << 30;
    QElapsedTimer m_activity;
    QTimer *m_idleTimer;
};

} // namespace cvb
