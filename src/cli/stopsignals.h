#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM as a Qt signal: the handler only writes to a pipe, which the event loop
// reads, so stopping runs as ordinary code and files get closed.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private slots:
    void onReadable();

private:
    QSocketNotifier *notifier = nullptr;
};
