// The source page of the profile wizard: the remote browser in one half, the profile's source
// list in the other, with the browser's trace list above the source grid. The wizard enters it
// (dial when the settings ask for it, log on, list the log-on folder, show the profile's sources)
// and leaves it (log off).
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace cvb {

class Table;
class TcvbNetDial;
class TRemoteBrowser;
class TSourceList;

class SourcePage : public QObject
{
    Q_OBJECT
public:
    // `dial` is the wizard's dial-up component; the connect step dials with it.
    SourcePage(QWidget *browserHost, QWidget *sourceHost, TcvbNetDial *dial, QObject *parent = nullptr);
    ~SourcePage() override;

    // Dials when the connection cursor's settings ask for it, logs on and lists the log-on folder;
    // shows the rows of `files` (restricted to the profile by the caller) and stores drops under
    // `profile`.
    void enter(const Table &connection, Table &files, const QString &profile);
    // Logs off; the FTP component's errors are raised to the caller.
    void logOff();

    TRemoteBrowser *browser() const { return browser_; }
    TSourceList *sourceList() const { return sources_; }

private:
    TRemoteBrowser *browser_;
    TSourceList *sources_;
};

} // namespace cvb
