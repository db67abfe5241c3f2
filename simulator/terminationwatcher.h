#pragma once

// Turns SIGINT and SIGTERM into a Qt signal, so that a program can leave its
// event loop and clean up (remove its symlink) instead of dying mid-way.
// Signal handlers may only do very little: this one writes a byte into a
// socket pair, which a socket notifier then reads in the event loop.

#include <QObject>

class QSocketNotifier;

namespace velorix::sim {

class TerminationWatcher : public QObject
{
    Q_OBJECT
public:
    // One per process.
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested();

private:
    void onSignalled();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace velorix::sim
