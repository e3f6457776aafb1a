#include "ui/profiles/SourcePage.h"

#include "ftp/FtpClient.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/browser/TSourceList.h"

#include <QLayout>
#include <QListWidget>

namespace cvb {

SourcePage::SourcePage(QWidget *browserHost, QWidget *sourceHost, TcvbNetDial *dial, QObject *parent)
    : QObject(parent), browser_(new TRemoteBrowser(browserHost)), sources_(new TSourceList(sourceHost))
{
    browserHost->layout()->addWidget(browser_);
    browser_->setDialer(dial);
    // The dialogue with the server shows above the list it fills.
    sourceHost->layout()->addWidget(browser_->traceList());
    sourceHost->layout()->addWidget(sources_);
    sources_->acceptDropsFrom(browser_);
}

SourcePage::~SourcePage() = default;

void SourcePage::enter(const Table &connection, Table &files, const QString &profile)
{
    sources_->setSources(&files);
    sources_->setProfile(profile);
    browser_->connectAndList(connection);
}

void SourcePage::logOff()
{
    browser_->component().SetAction(ftpLogoff);
}

} // namespace cvb
