#include "base/delay.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace velorix {

void Delay(std::int32_t Milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    // A timer may fire a little early; loop until the full time has passed.
    for (qint64 left = Milliseconds; left > 0; left = Milliseconds - clock.elapsed()) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        if (loop.exec() < 0) {
            // The application is quitting and refuses nested loops: sleep out
            // the rest instead of spinning.
            const qint64 rest = Milliseconds - clock.elapsed();
            if (rest > 0)
                QThread::msleep(static_cast<unsigned long>(rest));
            return;
        }
    }
}

} // namespace velorix
