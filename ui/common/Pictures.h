// Where the windows find the pictures they show ("logo.gif"). The current folder comes first, as
// it always has (a user may put a picture of their own there); then the folder of the program
// (the build folder, where the build copies the pictures); then the installed data folder.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

class QIcon;
class QLabel;

namespace cvb {

// The folders searched, in order.
QStringList pictureFolders();

// The first existing file `name` in `folders`; empty when there is none.
QString pictureFile(const QString &name, const QStringList &folders = pictureFolders());

// Shows the picture `name` (animated when it is) in `label`, replacing what it showed; a missing
// or unreadable picture leaves the label empty, silently. A picture larger than `fitInto` is
// scaled down to fit, keeping its proportions.
void showPicture(QLabel *label, const QString &name, const QSize &fitInto = {});

// The program's icon: the desktop theme's "corvale-backup" when it is installed, else the picture
// "corvale-backup.png" from the folders above, else `fallback`.
QIcon applicationIcon(const QIcon &fallback);

} // namespace cvb
