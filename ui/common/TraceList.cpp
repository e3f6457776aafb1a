#include "ui/common/TraceList.h"

#include <QListWidget>

namespace cvb {

void addTraceLine(QListWidget *trace, const QString &line)
{
    trace->addItem(line);
    trace->scrollToBottom();
}

} // namespace cvb
