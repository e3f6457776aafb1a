// Downloads that never destroy the file they replace: the new copy is written to a temporary
// file beside the target and takes the target's place only when it is complete. Used by the
// backup and by the live session.
#pragma once

#include <QString>
#include <stdexcept>

namespace cvb {

class TcvbFTP;

// A download that arrived (or was about to) but could not take the place of the old copy.
class LocalFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A new copy of a file, written beside the old one: ".name.<random>.part", private to the user
// (a site's copy holds its configuration files and passwords). A long name is shortened so that
// the temporary name stays within the file system's limit of 255 bytes.
// Removed unless it has replaced its target.
class PartFile
{
public:
    // Throws LocalFileError when no file can be created in the target's folder.
    explicit PartFile(const QString &target);
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;
    ~PartFile();

    QString path() const { return m_path; }

    // Renames the new copy over the target; a folder in the way is an error (LocalFileError)
    // and stays as it is.
    void replaceTarget();

private:
    QString m_target;
    QString m_path;
};

// Downloads `remoteFile` of the current remote folder through a PartFile into `localFile`, in
// the component's current transfer mode. The component's error (EcvbFTP) or a LocalFileError is
// raised; the old `localFile`, if any, is then left as it was.
void downloadReplacing(TcvbFTP &ftp, const QString &remoteFile, const QString &localFile);

} // namespace cvb
