// The source page of the profile wizard: the remote browser in one half, the profile's source
// list in the other. The wizard hands it the two halves' places, enters it (log on, list the
// log-on folder, show the profile's sources) and leaves it (log off).
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace cvb {

class Table;

class SourcePage : public QObject
{
    Q_OBJECT
public:
    SourcePage(QWidget *browserHost, QWidget *sourceHost, QObject *parent = nullptr);
    ~SourcePage() override;

    // Logs on with the connection cursor's settings and lists the log-on folder; shows the rows of
    // `files` (restricted to the profile by the caller) and stores drops under `profile`.
    void enter(const Table &connection, Table &files, const QString &profile);
    // Logs off; the FTP component's errors are raised to the caller.
    void logOff();
};

} // namespace cvb
