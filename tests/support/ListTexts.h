// The texts of a list widget's rows, in order: what windows' trace and file lists show.
#pragma once

#include <QListWidget>
#include <QStringList>

namespace cvb::test {

inline QStringList listTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace cvb::test
