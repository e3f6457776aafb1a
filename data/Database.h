// The database folder behind the alias CVB: where it is, setting it up at start-up,
// and the lock that keeps a second program instance away from it.
#pragma once
#include <QString>
#include <QStringList>
#include <memory>

namespace cvb {

// The folder that the alias CVB names; cursors open their tables there.
void setAliasFolder(const QString &folder);
QString aliasFolder();

// The folder to use: `dataOption` (from --data) when given, else the environment
// variable CVB_DATA, else $XDG_DATA_HOME/corvale-backup (~/.local/share/corvale-backup).
QString resolveDataFolder(const QString &dataOption = {});

// Creates the folder with mode 0700 when it is missing and checks that it can be read
// and written. Raises DataError naming the folder otherwise.
void prepareDataFolder(const QString &folder);

// Checks every table of the folder: a missing one is created with its layout (the
// connection table with one blank record); an existing one must have its exact layout.
// The connection table is kept at mode 0600. Tables that are wrong are not touched;
// DataError then lists each of them (file and field). Returns the files created.
QStringList createMissingTables(const QString &folder);

// File name of the lock file inside the database folder.
inline const QString LockFileName = QStringLiteral("corvale-backup.lock");

// Held while the program runs; a second holder on the same folder is refused.
class InstanceLock
{
public:
    // Raises DataError explaining that another instance uses the folder, or why the
    // lock file cannot be made.
    explicit InstanceLock(const QString &folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

private:
    int m_fd = -1;
};

// Start-up in order: prepare the folder, take the lock, create missing tables and check
// the layouts, then make the folder the alias folder. The lock lives as long as the
// returned object.
std::unique_ptr<InstanceLock> openDatabase(const QString &folder);

} // namespace cvb
