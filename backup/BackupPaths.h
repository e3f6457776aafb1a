// Rules that turn remote paths and listed names into local paths below the backup folder.
#pragma once

#include <QString>

namespace cvb {

// Number of leading characters of a source's remote paths that are dropped when local paths
// are formed: up to and including its last "/", so the source's own name is the first level.
int sourceBaseLength(const QString &source);

// The absolute remote path of a source: one typed without a leading "/" is below the log-on
// folder `logOnFolder`.
QString resolveSource(const QString &source, const QString &logOnFolder);

// Local name of a file source: the part after its last "/".
QString sourceLocalName(const QString &source);

// Place, relative to the backup folder, of a file source whose name an earlier source of the
// profile has taken: its remote path without the leading "/" (/cgi-bin/index.html goes to
// cgi-bin/index.html). Empty when that path would leave the backup folder or has an empty,
// "." or ".." level.
QString remotePathPlace(const QString &source);

// Local path, relative to the backup folder, of the remote folder `remotePath` copied for a
// work-list entry with base length `baseLength`.
QString RelativeLocalPath(const QString &remotePath, int baseLength);

} // namespace cvb
