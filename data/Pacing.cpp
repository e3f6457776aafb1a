#include "data/Pacing.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cmath>

namespace cvb {

double pacingFactor()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("CVB_PACING").toDouble(&ok);
    if (!ok || !std::isfinite(factor) || factor < 0)
        return 1.0;
    return factor;
}

int pacedMs(int ms)
{
    if (ms <= 0)
        return 0;
    const double scaled = std::round(ms * pacingFactor());
    return scaled > 86400000.0 ? 86400000 : static_cast<int>(scaled);
}

bool pacingOverridden()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("CVB_PACING").toDouble(&ok);
    return ok && std::isfinite(factor) && factor >= 0;
}

int chosenPauseMs(int ms, bool pausesOn)
{
    return pausesOn || pacingOverridden() ? ms : 0;
}

void pace(int ms)
{
    const int length = pacedMs(ms);
    if (length > 0)
        QThread::msleep(static_cast<unsigned long>(length));
}

void paceWithEvents(int ms)
{
    const int length = pacedMs(ms);
    if (length <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(length, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace cvb
