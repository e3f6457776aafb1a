#include "ui/common/Pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMovie>
#include <QSize>

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

void showPicture(QLabel *label, const QString &name, const QSize &fitInto)
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
    movie->jumpToFrame(0);
    const QSize size = movie->frameRect().size();
    if (fitInto.isValid() && (size.width() > fitInto.width() || size.height() > fitInto.height()))
        movie->setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatio));
    label->setMovie(movie);
    movie->start();
}

QIcon applicationIcon(const QIcon &fallback)
{
    const QString file = pictureFile(QStringLiteral("corvale-backup.png"));
    return QIcon::fromTheme(QStringLiteral("corvale-backup"), file.isEmpty() ? fallback : QIcon(file));
}

} // namespace cvb
