#include "analysis/frameanalysisview.h"

#include "i18n/uilanguage.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

struct CheckText
{
    const char *title;
    const char *consequence;
};

// In TuioCheck order.
const CheckText checkTexts[tuioCheckCount] = {
    {"帧缺少 fseq", "参考客户端从不应用这一帧"},
    {"set 的 id 不在本帧 alive 中", "只应用 alive id 的客户端忽略这条 set"},
    {"set 早于本帧 alive", "需要先收到 alive 的客户端丢弃这条 set"},
    {"迟到帧(fseq 回退)", "参考客户端丢弃迟到的帧"},
    {"set 参数个数或类型错误", "客户端读到错误的数值或丢弃这条消息"},
    {"位置超出 0..1 或角度超出 0..2π", "客户端把会话画到界面以外或转错方向"},
    {"同一会话 id 来自两个来源", "不区分来源的客户端互相删除对方的会话"},
    {"两个来源的 fseq 相差超过 100", "只有一个帧计数器的客户端丢弃其中一个来源"},
    {"会话超过 10 秒没有 set", "卡住的触点:客户端一直当它按着"},
};

const char *const sourceHeaders[] = {"来源",   "发送端",   "配置",     "帧数",
                                     "帧率",   "平均间隔", "最长间隔", "fseq 缺口",
                                     "迟到帧", "重启",     "活动会话"};
const char *const checkHeaders[] = {"检查", "次数", "最后命中", "对客户端的影响", "数据报"};
constexpr int consequenceColumn = 3;
constexpr int datagramColumn = 4;

QString tr8(const char *text)
{
    return UiLanguage::instance().translate(QString::fromUtf8(text));
}

void setCell(QTableWidget *table, int row, int column, const QString &text)
{
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (column >= 3)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
}

// The hit's datagram, after the profile and tags of a wrong set where the check keeps them.
QString hitText(const TuioCheckHits &hits)
{
    return hits.detail.isEmpty() ? hits.datagramText
                                 : QStringLiteral("[%1] %2").arg(hits.detail, hits.datagramText);
}

QString milliseconds(double ms)
{
    return QStringLiteral("%1 ms").arg(ms, 0, 'f', 1);
}

// A hit's arrival on the receiver's clock as the wall-clock time of day.
QString hitTime(qint64 hitNs, qint64 nowNs)
{
    return QDateTime::currentDateTime()
        .addMSecs(-(nowNs - hitNs) / 1000000)
        .toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

FrameAnalysisView::FrameAnalysisView(TuioFrameAnalysis *analysis, QWidget *parent)
    : QWidget(parent), analysis(analysis)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(4);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(new QLabel(QStringLiteral("每个来源的帧与协议检查")));
    bar->addStretch(1);
    clearButton = new QPushButton(QStringLiteral("清除"));
    clearButton->setObjectName(QStringLiteral("smallButton"));
    clearButton->setFixedHeight(24);
    bar->addWidget(clearButton);
    layout->addLayout(bar);

    auto *splitter = new QSplitter(Qt::Vertical);
    sourceTable = new QTableWidget(0, int(std::size(sourceHeaders)));
    sourceTable->setObjectName(QStringLiteral("frameSourceTable"));
    sourceTable->verticalHeader()->hide();
    sourceTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sourceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    checkTree = new QTreeWidget;
    checkTree->setObjectName(QStringLiteral("frameCheckTree"));
    checkTree->setColumnCount(int(std::size(checkHeaders)));
    checkTree->setRootIsDecorated(true);
    for (int check = 0; check < tuioCheckCount; ++check)
        new QTreeWidgetItem(checkTree);
    checkTree->header()->setSectionResizeMode(QHeaderView::Interactive);
    checkTree->setColumnWidth(0, 250);
    checkTree->setColumnWidth(1, 50);
    checkTree->setColumnWidth(2, 95);
    checkTree->setColumnWidth(consequenceColumn, 320);
    splitter->addWidget(sourceTable);
    splitter->addWidget(checkTree);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({120, 360});
    layout->addWidget(splitter, 1);

    connect(clearButton, &QPushButton::clicked, analysis, &TuioFrameAnalysis::clear);
    connect(analysis, &TuioFrameAnalysis::changed, this, &FrameAnalysisView::refresh);
    QPointer<FrameAnalysisView> self(this);
    UiLanguage::instance().addListener([self] {
        if (!self)
            return;
        self->setHeaders();
        self->refresh();
    });
    setHeaders();
    refresh();
}

void FrameAnalysisView::setHeaders()
{
    QStringList sourceLabels;
    for (const char *header : sourceHeaders)
        sourceLabels << tr8(header);
    sourceTable->setHorizontalHeaderLabels(sourceLabels);
    QStringList checkLabels;
    for (const char *header : checkHeaders)
        checkLabels << tr8(header);
    checkTree->setHeaderLabels(checkLabels);
}

void FrameAnalysisView::refresh()
{
    const qint64 now = TuioReceiver::monotonicNs();
    const QList<TuioSourceStats> sources = analysis->snapshot(now);

    sourceTable->setRowCount(int(sources.size()));
    for (int row = 0; row < sources.size(); ++row) {
        const TuioSourceStats &s = sources.at(row);
        const QStringList cells{s.source,
                                s.sender,
                                s.profiles.join(QStringLiteral(", ")),
                                QString::number(s.frames),
                                QString::number(s.framesPerSecond, 'f', 1),
                                milliseconds(s.meanIntervalMs),
                                milliseconds(s.longestIntervalMs),
                                QString::number(s.fseqGaps),
                                QString::number(s.lateFrames),
                                QString::number(s.restarts),
                                QString::number(s.aliveSessions)};
        for (int column = 0; column < cells.size(); ++column)
            setCell(sourceTable, row, column, cells.at(column));
    }

    for (int check = 0; check < tuioCheckCount; ++check) {
        QTreeWidgetItem *item = checkTree->topLevelItem(check);
        const QString consequence = tr8(checkTexts[check].consequence);
        item->setText(0, QStringLiteral("%1. %2").arg(check + 1).arg(tr8(checkTexts[check].title)));
        item->setText(consequenceColumn, consequence);
        item->setToolTip(0, consequence);
        qint64 total = 0;
        const TuioCheckHits *latest = nullptr;
        // Opened when its first hit shows; closing it is the reader's choice.
        const bool hadChildren = item->childCount() > 0;
        int children = 0;
        for (const TuioSourceStats &s : sources) {
            const TuioCheckHits &hits = s.checks[size_t(check)];
            if (hits.count == 0)
                continue;
            total += hits.count;
            if (!latest || hits.lastNs > latest->lastNs)
                latest = &hits;
            QTreeWidgetItem *child =
                children < item->childCount() ? item->child(children) : new QTreeWidgetItem(item);
            ++children;
            child->setText(0, s.source);
            child->setText(1, QString::number(hits.count));
            child->setText(2, hitTime(hits.lastNs, now));
            child->setText(datagramColumn, hitText(hits));
            child->setToolTip(datagramColumn, child->text(datagramColumn));
        }
        while (item->childCount() > children)
            delete item->takeChild(item->childCount() - 1);
        item->setText(1, QString::number(total));
        item->setText(2, latest ? hitTime(latest->lastNs, now) : QString());
        item->setText(datagramColumn, latest ? hitText(*latest) : QString());
        item->setToolTip(datagramColumn, item->text(datagramColumn));
        item->setForeground(
            1, QColor(total > 0 ? QStringLiteral("#F59E0B") : QStringLiteral("#10B981")));
        if (!hadChildren && children > 0)
            item->setExpanded(true);
    }
}
