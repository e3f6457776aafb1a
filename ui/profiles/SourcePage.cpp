#include "ui/profiles/SourcePage.h"

#include <QLabel>
#include <QLayout>

namespace cvb {

namespace {

void placeNote(QWidget *host, const QString &objectName, const QString &text)
{
    auto *note = new QLabel(text, host);
    note->setObjectName(objectName);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    note->setFrameShape(QFrame::StyledPanel);
    host->layout()->addWidget(note);
}

} // namespace

SourcePage::SourcePage(QWidget *browserHost, QWidget *sourceHost, QObject *parent) : QObject(parent)
{
    placeNote(browserHost, QStringLiteral("WebServerFiles"), tr("Web Server Files"));
    placeNote(sourceHost, QStringLiteral("BackupFileList"), tr("Backup File List"));
}

SourcePage::~SourcePage() = default;

void SourcePage::enter(const Table &, Table &, const QString &)
{
}

void SourcePage::logOff()
{
}

} // namespace cvb
