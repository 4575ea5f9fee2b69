#pragma once

#include "comm/logentry.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QWidget>

class CommunicationBase;
class QLabel;
class QListWidget;
class QPoint;
class QPushButton;
class QTimer;

// On-screen communication log: one coloured row per entry, made in batches,
// with the byte counters, clear/reset/export buttons and row copying.
class LogViewWidget : public QWidget
{
    Q_OBJECT

public:
    explicit LogViewWidget(CommunicationBase *core, QWidget *parent = nullptr);
    ~LogViewWidget() override;

    void enqueueEntry(const LogEntry &entry);
    // Clamped to -10..10 px of extra row padding.
    void setLineSpacing(int px);
    // Clamped to 7..18 pt.
    void setFontSize(int pt);

    // Entries received but not yet turned into rows.
    int pendingCount() const;

public slots:
    void flushPendingItems();
    void onCountersUpdated();

protected:
    // Asks for the export target; an empty name cancels.
    virtual QString chooseExportFileName(const QString &proposedName);
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void exportLog();
    void handleContextMenu(const QPoint &pos);
    void onLogCleared();

private:
    void applyDisplaySettings();
    void scheduleFlush(int delayMs);
    void showCounters();
    void holdCounter(QLabel *label, const QString &text, qsizetype &roomChars);
    void releaseCounters();

    CommunicationBase *core = nullptr;
    QListWidget *list = nullptr;
    QLabel *txLabel = nullptr;
    QLabel *rxLabel = nullptr;
    QPushButton *resetButton = nullptr;
    QPushButton *clearButton = nullptr;
    QPushButton *exportButton = nullptr;
    QTimer *flushTimer = nullptr;
    QList<LogEntry> pendingEntries;
    mutable QMutex queueLock;
    bool flushScheduled = false;
    // Counter labels whose repaint waits for the next flush.
    bool countersHeld = false;
    // A hidden list that follows the newest rows scrolls to them once it is shown.
    bool scrollWhenShown = false;
    // Characters each counter label has room for at its fixed size.
    qsizetype txRoomChars = 0;
    qsizetype rxRoomChars = 0;
    int lineSpacing = 0;
    int fontSize = 11;
};
