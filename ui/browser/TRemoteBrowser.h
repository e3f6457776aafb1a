// TRemoteBrowser: the browser half of the profile wizard's source page and of the live session.
// It logs on to the web server and lists the log-on folder (the connect-and-list step), opens the
// selected folder and goes up one level, and shows the dialogue with the server in its trace
// list. `lFiles` shows the names of the current folder sorted, as the server lists them (dot files
// included; "." and ".." left out); entries are dragged from it.
//
// Ownership: the browser owns its FTP component (`cvbFTP1`, released with the widget); callers
// use component() for what they do besides browsing (log-off, uploads, downloads). A dial-up
// component stays the caller's: setDialer() lets the connect step dial with it and shows its
// status lines.
//
// Object names: WebServerLabel, eRemotePath, lFiles, OpenButton, UpButton, lTrace; cvbFTP1.
// The trace list may be moved into the caller's own layout (traceList()).
//
// While a step waits for the server, window messages go on, so a caller's window may be asked to
// close under the wait. The browser and its component must not be released then (the wait would
// return into freed objects): the caller keeps them until the step has ended, as whenIdle()
// arranges.
#pragma once

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QListWidget;
class QLineEdit;

namespace Ui {
class TRemoteBrowser;
}

namespace cvb {

class Table;
class TcvbFTP;
class TcvbNetDial;
struct ConnectionSettings;

class TRemoteBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit TRemoteBrowser(QWidget *parent = nullptr);
    ~TRemoteBrowser() override;

    TcvbFTP &component() const { return *ftp_; }

    // The dial-up component the connect step dials with when the settings ask for it (nullptr:
    // never dial); its status lines go to the trace list. The caller keeps ownership.
    void setDialer(TcvbNetDial *dial);

    // The connect-and-list step: empties both lists, dials when a dialer is set and the settings
    // ask for it (every dial-up error ignored; its status lines show what happened), logs on and
    // lists the log-on folder. A failure of the FTP component ends the step with an
    // "EXCEPTION: " line and a message box. A session still open is closed first, so that the
    // list always starts from the log-on folder.
    void connectAndList(const ConnectionSettings &settings);
    // The same with the settings of the connection cursor's record.
    void connectAndList(const Table &connection);

    // "Open Selected Directory" / a double-click, and "Go Up One Directory Level".
    void OpenButtonClick();
    void UpButtonClick();

    // The path box's text: the remote folder shown (or, when editable, what the user typed).
    QString pathText() const;
    // The entry selected in the remote list, if any.
    std::optional<QString> selectedEntry() const;
    // The entries of the remote list, in list order.
    QStringList entries() const;

    // Whether the remote path names a folder, found by trying to enter it (and going back to the
    // folder shown); nothing when that cannot be tried now (no session, or another step waits).
    std::optional<bool> namesFolder(const QString &remotePath);

    // The live session lets the user type a path that the next open starts from.
    void setPathEditable(bool editable);
    // Error events with these codes add no trace line.
    void setIgnoredErrorCodes(const QSet<int> &codes);

    // Adds a line of the caller's own to the trace list and scrolls to it.
    void addTrace(const QString &line);

    QListWidget *fileList() const;
    QListWidget *traceList() const;
    QLineEdit *pathBox() const;

    // True while the browser waits for the server.
    bool busy() const { return busy_; }
    // Ends the wait of the running step (a dial in progress is hung up); the step ends as after a
    // failure, with its trace line but without a message box, and starts no further exchange.
    void interrupt();
    // For a window that holds the browser and is asked to close while a step waits: interrupts the
    // step and calls `then` (on `context`, from the event loop) once the step has ended. Returns
    // false, and does nothing, when no step is running.
    bool whenIdle(QObject *context, const std::function<void()> &then);

signals:
    // The remote list shows another folder's entries (after a listing, or emptied).
    void listingChanged();
    // A step that waited for the server has ended; busy() is false again.
    void idle();

private:
    void installTrace();
    // Runs `step` unless another step waits for the server; keeps the buttons off meanwhile.
    template <typename Step> void exclusive(Step &&step);
    void changeFolder(const QString &path);
    void listCurrentFolder();
    void clearEntries();

    std::unique_ptr<Ui::TRemoteBrowser> ui_;
    TcvbFTP *ftp_;
    QPointer<TcvbNetDial> dial_;
    QSet<int> ignoredErrorCodes_;
    bool busy_ = false;
    bool interrupted_ = false; // the running step was interrupted: it starts nothing more
};

} // namespace cvb
