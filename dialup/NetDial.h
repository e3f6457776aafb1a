// The dial-up networking component: makes and ends a dial-up connection through the remote access
// service, and lists the service's phonebook entries and open connections.
#pragma once
#include "component/Component.h"
#include "dialup/RasApi.h"

#include <functional>
#include <memory>
#include <stdexcept>

namespace cvb {

enum TcvbNetDialActions { ntdIdle, ntdConnect, ntdDisconnect, ntdListPhonebook, ntdListConnections };

// The framework's error for a property assigned a value it does not take.
class EPropertyError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class EcvbNetDial : public EcvbComponent
{
public:
    using EcvbComponent::EcvbComponent;
};

class CNetDialNotifier;

class TcvbNetDial : public TcvbComponent
{
    Q_OBJECT
    Q_PROPERTY(int Action READ ActionValue WRITE SetActionValue)
    Q_PROPERTY(QString User MEMBER User)
    Q_PROPERTY(QString Password MEMBER Password)
    Q_PROPERTY(QString Phonebook MEMBER Phonebook)
    Q_PROPERTY(QString PhonebookEntry MEMBER PhonebookEntry)
    Q_PROPERTY(QString PhoneNumber MEMBER PhoneNumber)
    Q_PROPERTY(QString CallbackNumber MEMBER CallbackNumber)
    Q_PROPERTY(QString Domain MEMBER Domain)

public:
    // The component's event types (the socket layer has a TStatusEvent of its own).
    using TStatusEvent =
        std::function<void(QObject *Sender, int Status, int Error, const QString &StatusDescription,
                           const QString &ErrorDescription)>;
    using TPhonebookEntryEvent = std::function<void(QObject *Sender, const QString &Entry)>;
    using TConnectedEntryEvent =
        std::function<void(QObject *Sender, int Handle, const QString &Entry, const QString &DeviceName,
                           const QString &DeviceType, const QString &StatusDescription)>;

    explicit TcvbNetDial(QObject *parent = nullptr);
    ~TcvbNetDial() override;

    // Assigning starts the operation and returns when it has ended; reading gives the operation
    // in progress (ntdIdle when none).
    TcvbNetDialActions Action() const { return m_action; }
    void SetAction(TcvbNetDialActions action);

    QString User;
    QString Password;
    QString Phonebook;      // path of a phonebook file; empty = the service's default phonebook
    QString PhonebookEntry; // entry to dial; empty = dial with the values below
    QString PhoneNumber;
    QString CallbackNumber;
    QString Domain;

    TStatusEvent OnStatus;
    TPhonebookEntryEvent OnPhonebookEntry;
    TConnectedEntryEvent OnConnectedEntry;

    // Copies the base settings, the seven strings and the three events of another dial-up component.
    void CloneFromComponent(const TcvbNetDial &other);

    std::exception_ptr CreateError(int code, const QString &text) override;

    // The connection made by the last connect; 0 when there is none.
    HRASCONN ConnectionHandle() const { return m_connection; }
    // The number of the message through which the service reports dial progress.
    int DialEventMessage() const { return m_dialEventMessage; }

private:
    friend class CNetDialNotifier;

    int ActionValue() const { return m_action; }
    void SetActionValue(int action) { SetAction(static_cast<TcvbNetDialActions>(action)); }

    bool LoadLibrary();
    void Connect();
    // The parameters of the dial: the entry's stored ones, or the component's settings.
    std::uint32_t FillDialParams(TRasDialParams &params, const QByteArray &phonebook);
    void Disconnect();
    // Hangs up and polls until the service lets go of the handle; the error of the hang-up, if any.
    std::uint32_t HangUp(HRASCONN handle);
    // Runs a listing when its event is set; the listing calls the event, end mark included, and
    // returns the service's error.
    void RunListing(bool handlerSet, TcvbNetDialActions action, std::uint32_t (TcvbNetDial::*list)());
    std::uint32_t ListPhonebook();
    std::uint32_t ListConnections();
    void ReportServiceError(std::uint32_t code);
    // Runs for every progress message and for every poll of a hang-up.
    void HandleStatus(std::uint32_t state, std::uint32_t error);
    // A progress message that reached the notifier; errors it raises end the connect wait.
    void DialEvent(std::uint32_t state, std::uint32_t error);
    // The phonebook argument of the service calls: null for the default phonebook.
    const char *PhonebookArg(const QByteArray &path) const;

    TcvbNetDialActions m_action = ntdIdle;
    HRASCONN m_connection = 0;
    bool m_dialEnded = false;
    bool m_waiting = false;
    std::exception_ptr m_waitError;
    int m_dialEventMessage = 0;
    std::unique_ptr<CRasLibrary> m_library;
    bool m_libraryLoaded = false;
    CNetDialNotifier *m_notifier = nullptr; // a child of the component
};

} // namespace cvb
