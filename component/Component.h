// Base of every protocol component: error codes, texts, the component's exception class and
// the error event.
#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <exception>
#include <functional>

namespace cvb {

class TcvbComponent;

// The exception every component raises; each component derives a class of its own.
// Its message reads as the code in decimal, ": " and the text.
class EcvbComponent : public std::exception
{
public:
    EcvbComponent(int code, const QString &text);

    int Code() const { return m_code; }
    QString Text() const { return m_text; }
    QString Message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_code;
    QString m_text;
    QString m_message;
    QByteArray m_what;
};

// The text of any error: a component's message ("code: text"), else what the exception says.
QString messageOf(const std::exception &e);

// Errors that arise where no caller waits (inside socket notifications).
using TErrorEvent = std::function<void(QObject *Sender, int ErrorCode, const QString &Description)>;

// Text of a socket error code: "Ok", "[10061] Connection refused." or
// "[142] (no description available).".
QString DescribeError(int code);

class TcvbComponent : public QObject
{
    Q_OBJECT
public:
    explicit TcvbComponent(QObject *parent = nullptr);
    ~TcvbComponent() override;

    int LastErrorCode() const { return m_lastErrorCode; }
    QString LastErrorText() const { return m_lastErrorText; }
    bool RaiseOnError() const { return m_raiseOnError; }
    void SetRaiseOnError(bool raise) { m_raiseOnError = raise; }

    TErrorEvent OnError;

    // Records the error; raises CreateError(code, LastErrorText) while RaiseOnError is true.
    // An empty text is replaced by DescribeError(code).
    void ReportError(int code, const QString &text = {});
    // Reports with `code` that an action, or a setting that needs the connection, was refused
    // because another action is running.
    void ReportBusy(int code);

    // Makes the exception to raise; components override it to raise their own class.
    virtual std::exception_ptr CreateError(int code, const QString &text);
    // Passes an error to OnError when it is set; never raises.
    virtual void FireError(int code, const QString &text);

protected:
    // Sets the last error directly, e.g. "0 at the start of an operation".
    void SetLastError(int code, const QString &text)
    {
        m_lastErrorCode = code;
        m_lastErrorText = text;
    }
    // Called by a destructor of a derived class so that nothing raises during tear-down.
    void BeginTearDown()
    {
        m_raiseOnError = false;
        m_lastErrorText.clear();
    }

private:
    int m_lastErrorCode = 0;
    QString m_lastErrorText;
    bool m_raiseOnError = true;
};

// Runs fn with RaiseOnError off, restores the flag and returns LastErrorCode: for a nested
// step whose failure the caller handles itself.
template <typename Fn> int WithoutRaising(TcvbComponent &c, Fn &&fn)
{
    const bool saved = c.RaiseOnError();
    c.SetRaiseOnError(false);
    try {
        fn();
    } catch (...) {
        c.SetRaiseOnError(saved);
        throw;
    }
    c.SetRaiseOnError(saved);
    return c.LastErrorCode();
}

} // namespace cvb
