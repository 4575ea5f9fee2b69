#include "log/logviewwidget.h"

#include "comm/communicationbase.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QColor>
#include <QDateTime>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kFlushDelayMs = 50;
// At 20,000 datagrams/s a 50 ms flush meets about 1,000 entries: one batch, one layout, one paint.
constexpr int kMaxRowsPerFlush = 2000;
constexpr int kBottomSlackPx = 10;

const QString kRowFontFamily = QStringLiteral("Consolas");

const QBrush &directionBrush(int direction)
{
    // Shared by every row: a QBrush per row would cost memory at 100k rows.
    static const QBrush tx(QColor(255, 215, 0));
    static const QBrush rx(QColor(0, 255, 200));
    static const QBrush system(QColor(136, 146, 160));
    static const QBrush other(QColor(224, 224, 224));
    switch (direction) {
    case LogEntry::Tx:
        return tx;
    case LogEntry::Rx:
        return rx;
    case LogEntry::System:
        return system;
    default:
        return other;
    }
}

QString rowText(const LogEntry &entry, bool withTime, bool useHex)
{
    const QString &body = useHex ? entry.hexText : entry.text;
    const QString tag = directionTag(entry);
    QString text;
    text.reserve(16 + tag.size() + 2 + body.size());
    if (withTime) {
        text += formatTime(entry);
        text += QLatin1String("  ");
    }
    text += tag;
    text += QLatin1String("  ");
    text += body;
    return text;
}

// Draws each row as a single line, vertically centred, in the view's row font.
class VCenterDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The application style sheet pins the list's own font, so the chosen row
    // font is carried here and applied to every row, old and new alike.
    void setRowFont(const QFont &font) { rowFont = font; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.font = rowFont;
        opt.fontMetrics = QFontMetrics(rowFont);

        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

        painter->save();
        painter->setFont(opt.font);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect textRect = opt.fontMetrics.boundingRect(opt.text);
        const int x = opt.rect.left() + 4;
        const int y = opt.rect.top() + (opt.rect.height() - textRect.height()) / 2 - textRect.top();
        painter->drawText(QPoint(x, y), opt.text);
        painter->restore();
    }

    // Every row is one line of the row font whatever its text, so all rows share
    // one height and the list lays out from a single hint (uniform item sizes)
    // instead of measuring each row's text at every batch.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.font = rowFont;
        opt.fontMetrics = QFontMetrics(rowFont);
        opt.text = QStringLiteral("0");
        opt.features &= ~QStyleOptionViewItem::WrapText;
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        return style->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), widget);
    }

private:
    QFont rowFont{kRowFontFamily, 11};
};

// A counter keeps a fixed size, shown or hidden, with room for three more characters, so that its
// changes lay nothing out again; only a text that outgrows the room is measured (text shaping
// per received datagram would cost more than the datagram).
void setCounterText(QLabel *label, const QString &text, qsizetype &roomChars)
{
    label->setText(text);
    if (text.size() <= roomChars)
        return;
    label->ensurePolished();
    const QSize needed = label->sizeHint();
    const bool fixed = label->minimumSize() == label->maximumSize();
    const int room = label->fontMetrics().horizontalAdvance(QStringLiteral("000"));
    label->setFixedSize(std::max(fixed ? label->width() : 0, needed.width() + room),
                        fixed ? label->height() : needed.height());
    roomChars = text.size() + 3;
}

QPushButton *makeSmallButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QStringLiteral("smallButton"));
    button->setFixedHeight(24);
    return button;
}

} // namespace

LogViewWidget::LogViewWidget(CommunicationBase *core, QWidget *parent) : QWidget(parent), core(core)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("logOutput"));
    list->setFont(QFont(kRowFontFamily, 11));
    list->setAlternatingRowColors(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setWordWrap(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setFrameShape(QFrame::NoFrame);
    // Without a shared hint the list measures every row at every batch, which
    // grows with its length (minutes at 100k rows).
    list->setUniformItemSizes(true);
    list->setItemDelegate(new VCenterDelegate(list));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->installEventFilter(this);
    list->verticalScrollBar()->installEventFilter(this);
    layout->addWidget(list, 1);

    auto *statusBar = new QFrame(this);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    auto *barLayout = new QHBoxLayout(statusBar);
    barLayout->setContentsMargins(12, 4, 12, 4);
    barLayout->setSpacing(8);
    txLabel = new QLabel(QStringLiteral("TX: 0 bytes"), statusBar);
    txLabel->setObjectName(QStringLiteral("txLabel"));
    auto *separator = new QLabel(QStringLiteral("│"), statusBar);
    separator->setStyleSheet(QStringLiteral("color: #2A3444; font-size: 16px; padding: 0 4px;"));
    rxLabel = new QLabel(QStringLiteral("RX: 0 bytes"), statusBar);
    rxLabel->setObjectName(QStringLiteral("rxLabel"));
    txLabel->installEventFilter(this);
    rxLabel->installEventFilter(this);
    resetButton = makeSmallButton(QStringLiteral("重置计数"), statusBar);
    clearButton = makeSmallButton(QStringLiteral("清除日志"), statusBar);
    exportButton = makeSmallButton(QStringLiteral("导出"), statusBar);
    barLayout->addWidget(txLabel);
    barLayout->addWidget(separator);
    barLayout->addWidget(rxLabel);
    barLayout->addStretch();
    barLayout->addWidget(resetButton);
    barLayout->addWidget(clearButton);
    barLayout->addWidget(exportButton);
    layout->addWidget(statusBar, 0);

    flushTimer = new QTimer(this);
    flushTimer->setSingleShot(true);
    flushTimer->setInterval(kFlushDelayMs);

    connect(core, &CommunicationBase::logEntryAdded, this, &LogViewWidget::enqueueEntry);
    connect(core, &CommunicationBase::countersUpdated, this, &LogViewWidget::onCountersUpdated);
    connect(core, &CommunicationBase::logCleared, this, &LogViewWidget::onLogCleared);
    connect(flushTimer, &QTimer::timeout, this, &LogViewWidget::flushPendingItems);
    connect(list, &QWidget::customContextMenuRequested, this, &LogViewWidget::handleContextMenu);
    connect(resetButton, &QPushButton::clicked, core, &CommunicationBase::resetCounters);
    connect(clearButton, &QPushButton::clicked, this, [this] {
        onLogCleared();
        this->core->clearLog();
    });
    connect(exportButton, &QPushButton::clicked, this, &LogViewWidget::exportLog);

    applyDisplaySettings();
    showCounters();
}

LogViewWidget::~LogViewWidget() = default;

void LogViewWidget::enqueueEntry(const LogEntry &entry)
{
    {
        QMutexLocker locker(&queueLock);
        pendingEntries.append(entry);
        // Rows beyond the core's limit would be dropped right after being made.
        const int max = core->maxLogEntries();
        if (max > 0 && pendingEntries.size() > max)
            pendingEntries.remove(0, pendingEntries.size() - max);
    }
    scheduleFlush(kFlushDelayMs);
}

void LogViewWidget::scheduleFlush(int delayMs)
{
    if (!flushScheduled) {
        flushScheduled = true;
        flushTimer->start(delayMs);
    }
}

int LogViewWidget::pendingCount() const
{
    QMutexLocker locker(&queueLock);
    return int(pendingEntries.size());
}

void LogViewWidget::flushPendingItems()
{
    flushScheduled = false;
    releaseCounters();
    QMutexLocker locker(&queueLock);
    if (pendingEntries.isEmpty())
        return;

    const bool useHex = core->hexDisplay();
    const bool follow = core->autoScroll();
    const bool withTime = core->showTimestamp();

    QScrollBar *bar = list->verticalScrollBar();
    const int oldValue = bar->value();
    const bool wasAtBottom =
        follow && (scrollWhenShown || oldValue >= bar->maximum() - kBottomSlackPx);

    const int take = int(qMin<qsizetype>(kMaxRowsPerFlush, pendingEntries.size()));
    QStringList texts;
    texts.reserve(take);
    for (int i = 0; i < take; ++i)
        texts.append(rowText(pendingEntries.at(i), withTime, useHex));
    // One insertion for the whole batch: the list relayouts once, not per row.
    const int first = list->count();
    list->addItems(texts);
    {
        // The new rows are laid out and painted after this anyway; a change signal per row would
        // have the view look each one up and queue its repaint.
        const QSignalBlocker quiet(list->model());
        for (int i = 0; i < take; ++i)
            list->item(first + i)->setForeground(directionBrush(pendingEntries.at(i).direction));
    }
    pendingEntries.remove(0, take);
    const bool more = !pendingEntries.isEmpty();

    const int max = core->maxLogEntries();
    if (max > 0 && list->count() > max) {
        const int dropped = list->count() - max;
        const int rowHeight = list->sizeHintForRow(0);
        list->model()->removeRows(0, dropped);
        // Keep the rows the reader is looking at in place while the oldest go.
        if (!wasAtBottom)
            bar->setValue(qMax(0, oldValue - dropped * rowHeight));
    }

    locker.unlock();

    // Scrolling lays out all rows; a hidden list is spared that until it is shown.
    if (wasAtBottom && list->isVisible())
        list->scrollToBottom();
    else if (wasAtBottom)
        scrollWhenShown = true;

    // Drain a backlog at full speed instead of waiting for the next arrival.
    if (more)
        scheduleFlush(0);
}

void LogViewWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (scrollWhenShown) {
        scrollWhenShown = false;
        list->scrollToBottom();
    }
}

void LogViewWidget::onCountersUpdated()
{
    holdCounter(txLabel, QStringLiteral("TX: %1 bytes").arg(core->txBytes()), txRoomChars);
    holdCounter(rxLabel, QStringLiteral("RX: %1 bytes").arg(core->rxBytes()), rxRoomChars);
}

void LogViewWidget::holdCounter(QLabel *label, const QString &text, qsizetype &roomChars)
{
    if (label->text() == text)
        return;
    // Under a stream the received bytes change with every datagram. The text is set at once,
    // but the label repaints with the rows at the next flush, not after every read from the
    // socket.
    if (label->updatesEnabled()) {
        label->setUpdatesEnabled(false);
        countersHeld = true;
        scheduleFlush(kFlushDelayMs);
    }
    setCounterText(label, text, roomChars);
}

void LogViewWidget::releaseCounters()
{
    if (!countersHeld)
        return;
    countersHeld = false;
    // Enabling repaints a held label once.
    txLabel->setUpdatesEnabled(true);
    rxLabel->setUpdatesEnabled(true);
}

void LogViewWidget::showCounters()
{
    setCounterText(txLabel, QStringLiteral("TX: %1 bytes").arg(core->txBytes()), txRoomChars);
    setCounterText(rxLabel, QStringLiteral("RX: %1 bytes").arg(core->rxBytes()), rxRoomChars);
}

bool LogViewWidget::eventFilter(QObject *watched, QEvent *event)
{
    // A style sheet paints the backgrounds of these widgets without marking them opaque, so that
    // each change repaints the window beneath them too. Filled first with the colour they show
    // anyway, a flush repaints the viewport, the scroll bar and a counter alone. Both events come
    // after a polish, which turns the fill off again.
    if (event->type() != QEvent::Show && event->type() != QEvent::StyleChange)
        return false;
    if (watched == list) {
        list->viewport()->setAutoFillBackground(true);
    } else if (watched == list->verticalScrollBar()) {
        list->verticalScrollBar()->setAutoFillBackground(true);
    } else if (watched == txLabel || watched == rxLabel) {
        auto *label = static_cast<QLabel *>(watched);
        const QWidget *bar = label->parentWidget();
        QPalette palette = label->palette();
        palette.setBrush(label->backgroundRole(), bar->palette().brush(bar->backgroundRole()));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    return false;
}

void LogViewWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A new style may bring a wider counter font.
    if (event->type() == QEvent::StyleChange) {
        txRoomChars = 0;
        rxRoomChars = 0;
        showCounters();
    }
}

void LogViewWidget::onLogCleared()
{
    list->clear();
    {
        QMutexLocker locker(&queueLock);
        pendingEntries.clear();
    }
    flushTimer->stop();
    flushScheduled = false;
    releaseCounters();
}

void LogViewWidget::setLineSpacing(int px)
{
    lineSpacing = qBound(-10, px, 10);
    applyDisplaySettings();
}

void LogViewWidget::setFontSize(int pt)
{
    fontSize = qBound(7, pt, 18);
    applyDisplaySettings();
}

void LogViewWidget::applyDisplaySettings()
{
    const QFont font(kRowFontFamily, fontSize);
    static_cast<VCenterDelegate *>(list->itemDelegate())->setRowFont(font);
    list->setStyleSheet(
        QStringLiteral("QListWidget::item { padding: %1px 6px %2px 6px; font-size: %3pt; }")
            .arg(lineSpacing + 2)
            .arg(lineSpacing + 2)
            .arg(fontSize));
    list->setFont(font);
    // The row height comes from the delegate's font, which the list cannot see change.
    list->doItemsLayout();
}

void LogViewWidget::handleContextMenu(const QPoint &pos)
{
    if (!list->itemAt(pos))
        return;

    QMenu menu(this);
    menu.setStyleSheet(QStringLiteral(
        "QMenu { background: #1F2937; color: #F1F5F9; border: 1px solid #1E3A5F; padding: 4px; }"
        "QMenu::item { padding: 6px 20px; border-radius: 3px; }"
        "QMenu::item:selected { background: #0E4A6F; }"));
    QAction *copyAction = menu.addAction(QStringLiteral("复制"));
    QAction *copyAllAction = menu.addAction(QStringLiteral("复制全部"));

    QAction *chosen = menu.exec(list->viewport()->mapToGlobal(pos));
    if (chosen == copyAction) {
        const QList<QListWidgetItem *> selected = list->selectedItems();
        if (selected.isEmpty())
            return;
        QStringList texts;
        texts.reserve(selected.size());
        for (const QListWidgetItem *item : selected)
            texts.append(item->text());
        QGuiApplication::clipboard()->setText(texts.join(QLatin1Char('\n')));
    } else if (chosen == copyAllAction) {
        QStringList texts;
        texts.reserve(list->count());
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        QGuiApplication::clipboard()->setText(texts.join(QLatin1Char('\n')));
    }
}

QString LogViewWidget::chooseExportFileName(const QString &proposedName)
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("导出日志"), proposedName,
                                        QStringLiteral("文本文件 (*.txt);;CSV文件 (*.csv)"));
}

void LogViewWidget::exportLog()
{
    const QString proposed =
        QStringLiteral("Communication_Log_%1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")));
    const QString fileName = chooseExportFileName(proposed);
    if (fileName.isEmpty())
        return;

    const bool asCsv = fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    if (core->exportToFile(fileName, core->hexDisplay(), asCsv)) {
        core->logSystem(QStringLiteral("日志已导出: %1").arg(fileName));
    } else {
        QMessageBox::warning(this, QStringLiteral("导出失败"),
                             QStringLiteral("无法写入文件: ") + fileName, QMessageBox::Ok);
    }
}
