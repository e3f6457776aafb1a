#include "ui/common/Pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMovie>

namespace cvb {

QStringList pictureFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {QDir::currentPath(), program,
            QDir::cleanPath(program + QStringLiteral("/../share/corvale-backup"))};
}

QString pictureFile(const QString &name, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.isFile())
            return file.filePath();
    }
    return {};
}

void showPicture(QLabel *label, const QString &name)
{
    QMovie *old = label->movie();
    label->clear();
    delete old;
    const QString file = pictureFile(name);
    if (file.isEmpty())
        return;
    auto *movie = new QMovie(file, QByteArray(), label);
    if (!movie->isValid()) {
        delete movie;
        return;
    }
    label->setMovie(movie);
    movie->start();
}

QIcon applicationIcon(const QIcon &fallback)
{
    const QString file = pictureFile(QStringLiteral("corvale-backup.png"));
    return QIcon::fromTheme(QStringLiteral("corvale-backup"), file.isEmpty() ? fallback : QIcon(file));
}

} // namespace cvb
