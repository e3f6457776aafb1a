// The two halves as the profile wizard places them on its source page: the browser on the
// left, the source list with the trace list above it on the right, at the main window's size.
#pragma once

#include "ui/browser/TRemoteBrowser.h"
#include "ui/browser/TSourceList.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace cvb::test {

struct BrowserPage
{
    BrowserPage()
    {
        auto *row = new QHBoxLayout(&page);
        auto *right = new QVBoxLayout;
        row->addWidget(browser, 1);
        row->addLayout(right, 1);
        right->addWidget(browser->traceList(), 1);
        right->addWidget(sources, 2);
        sources->acceptDropsFrom(browser);
        page.resize(632, 418);
    }

    QWidget page;
    TRemoteBrowser *browser = new TRemoteBrowser(&page);
    TSourceList *sources = new TSourceList(&page);
};

} // namespace cvb::test
