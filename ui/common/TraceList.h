// The trace lists of the windows that talk to servers (connection test, remote browser, live
// session): a line is added at the end and the list scrolls so that it is visible.
#pragma once

#include <QString>

class QListWidget;

namespace cvb {

void addTraceLine(QListWidget *trace, const QString &line);

} // namespace cvb
