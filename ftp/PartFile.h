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
    // The temporary file `path` (one of resumablePath's), with what an earlier try left in it;
    // created empty when missing. Throws LocalFileError when it cannot be opened.
    PartFile(const QString &target, const QString &path);
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;
    ~PartFile();

    QString path() const { return m_path; }
    // Its size on disk now.
    qint64 size() const;

    // Left on disk by the destructor, to be resumed later.
    void keep() { m_kept = true; }
    // Removed by the destructor after all (the default).
    void release() { m_kept = false; }
    // Empties it, for a download that starts over.
    void truncate();
    // Renames it to `path` (a resumable name); false, with nothing changed, when that fails.
    bool renameTo(const QString &path);

    // The name of a temporary file that a later run can find again: ".name.<tag>.part" beside
    // `target`, where `tag` tells what the remote file was ("r<size>-<time>"). Names are
    // shortened alike whatever the tag, so that resumablePrefix finds every tag of one target.
    static QString resumablePath(const QString &target, const QString &tag);
    // What every resumable name of `target` begins with: "<folder>/.name.".
    static QString resumablePrefix(const QString &target);

    // Renames the new copy over the target; a folder in the way is an error (LocalFileError)
    // and stays as it is.
    void replaceTarget();

private:
    QString m_target;
    QString m_path;
    bool m_kept = false;
};

// Downloads `remoteFile` of the current remote folder through a PartFile into `localFile`, in
// the component's current transfer mode. The component's error (EcvbFTP) or a LocalFileError is
// raised; the old `localFile`, if any, is then left as it was.
void downloadReplacing(TcvbFTP &ftp, const QString &remoteFile, const QString &localFile);

} // namespace cvb
