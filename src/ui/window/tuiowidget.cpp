#include "window/tuiowidget.h"

#include "ads/adbanner.h"
#include "analysis/frameanalysisview.h"
#include "canvas/touchcanvas.h"
#include "capture/capturepanel.h"
#include "capture/capturerecorder.h"
#include "capture/capturereplayer.h"
#include "capture/datagramsender.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "log/logviewwidget.h"
#include "site/siteurl.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosender.h"
#include "tuio/tuiosessions.h"
#include "window/itemrows.h"
#include "window/treerows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Received traffic repaints the canvas at most once per frame: at most 60 times a second, and
// down to 4 times a second when a paint is slow.
constexpr int minCanvasFrameMs = 16;
constexpr int maxCanvasFrameMs = 250;

const char *const runningButtonStyle =
    "QPushButton { background-color: #EF4444; color: white; font-weight: 600; border: none; "
    "border-radius: 4px; padding: 8px 20px; } QPushButton:hover { background-color: #F87171; }";

QHBoxLayout *labelledRow(const QString &text, QWidget *field)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(text));
    row->addWidget(field, 1);
    return row;
}

QSpinBox *makeSpin(const char *name, int minimum, int maximum, int value)
{
    auto *spin = new QSpinBox;
    spin->setObjectName(QLatin1String(name));
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

} // namespace

TuioWidget::TuioWidget(QWidget *parent) : QWidget(parent)
{
    comm = new CommunicationBase(this);
    tuioReceiver = new TuioReceiver(comm, this);
    tuioSender = new TuioSender(comm, this);
    tuioSessions = new TuioSessions(this);
    tuioFrameAnalysis = new TuioFrameAnalysis(this);
    captureRecorder = new CaptureRecorder(this);
    captureRecorder->setObjectName(QStringLiteral("captureRecorder"));
    captureReplayer = new CaptureReplayer(comm, this);
    captureReplayer->setObjectName(QStringLiteral("captureReplayer"));
    sendReplayer = new CaptureReplayer(nullptr, this);
    sendReplayer->setObjectName(QStringLiteral("sendReplayer"));
    datagramSender = new DatagramSender(this);
    datagramSender->setObjectName(QStringLiteral("datagramSender"));
    treeRefreshTimer = new QTimer(this);
    treeRefreshTimer->setSingleShot(true);
    treeRefreshTimer->setInterval(50);
    connect(treeRefreshTimer, &QTimer::timeout, this, &TuioWidget::refreshObjectTree);
    canvasFrameTimer = new QTimer(this);
    canvasFrameTimer->setSingleShot(true);
    canvasFrameTimer->setInterval(minCanvasFrameMs);
    connect(canvasFrameTimer, &QTimer::timeout, this, [this] { releaseCanvasFrame(); });
    setupUI();
}

TuioWidget::~TuioWidget()
{
    tuioReceiver->stop();
    tuioSender->stop();
}

void TuioWidget::setupUI()
{
    setWindowTitle(QStringLiteral("TUIO调试助手"));
    setWindowIcon(QIcon(QStringLiteral(":/icon/Tuio.ico")));
    setMinimumSize(960, 640);
    resize(1160, 780);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildHeader());
    auto *body = new QHBoxLayout;
    body->setContentsMargins(16, 4, 16, 12);
    body->setSpacing(12);
    root->addLayout(body);
    body->addWidget(buildSettingsColumn());
    body->addWidget(buildRightPanel(), 1);

    connect(serverRadio, &QRadioButton::toggled, this, &TuioWidget::toggleMode);
    connect(timestampCheck, &QCheckBox::toggled, comm, &CommunicationBase::setShowTimestamp);
    connect(autoScrollCheck, &QCheckBox::toggled, comm, &CommunicationBase::setAutoScroll);
    connect(lineSpacingSpin, &QSpinBox::valueChanged, logView, &LogViewWidget::setLineSpacing);
    connect(fontSizeSpin, &QSpinBox::valueChanged, logView, &LogViewWidget::setFontSize);
    connect(docButton, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(
            QUrl(siteBaseUrl() + QStringLiteral("/docs/quorbell/tactora"), QUrl::TolerantMode));
    });
    connect(clearAllButton, &QPushButton::clicked, canvas, &TouchCanvas::clearAll);
    connect(clearAllButton, &QPushButton::clicked, this, [this] {
        if (sendsFrames())
            sendLiveSessions();
    });
    connect(simModeCombo, &QComboBox::currentIndexChanged, this, &TuioWidget::setSimMode);
    connect(serverStartButton, &QPushButton::clicked, this, &TuioWidget::toggleConnection);
    connect(clientStartButton, &QPushButton::clicked, this, &TuioWidget::toggleConnection);
    connectCanvas();
    connectReceivedTraffic();
    connectCapture();

    UiLanguage &language = UiLanguage::instance();
    language.retranslateWidgetTree(this);
    QPointer<TuioWidget> self(this);
    language.addListener([self] {
        if (!self)
            return;
        UiLanguage::instance().retranslateWidgetTree(self);
        self->refreshLiveTexts();
        self->refreshObjectTree();
    });
}

QFrame *TuioWidget::buildHeader()
{
    auto *header = new QFrame;
    header->setObjectName(QStringLiteral("headerBar"));
    header->setFixedHeight(52);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(20, 0, 20, 0);
    auto *icon = new QLabel(QStringLiteral("◆"));
    icon->setObjectName(QStringLiteral("headerIcon"));
    auto *title = new QLabel(QStringLiteral("TUIO调试助手"));
    title->setObjectName(QStringLiteral("headerTitle"));
    auto *version = new QLabel(QStringLiteral("v1.0"));
    version->setObjectName(QStringLiteral("headerVersion"));
    headerLayout->addWidget(icon);
    headerLayout->addWidget(title);
    headerLayout->addWidget(version);
    headerLayout->addStretch(1);
    headerLayout->addWidget(new AdBanner(QStringLiteral("tactora"), header), 2);
    headerLayout->addStretch(1);
    languageCombo = createLanguageCombo(header);
    headerLayout->addWidget(languageCombo);
    docButton = new QPushButton(QStringLiteral("📖 文档"));
    docButton->setObjectName(QStringLiteral("docButton"));
    docButton->setCursor(Qt::PointingHandCursor);
    docButton->setFixedHeight(24);
    docButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; color: #94A3B8; border: 1px solid #2A3A4A; "
        "border-radius: 3px; padding: 2px 8px; font-size: 11px; } QPushButton:hover { "
        "border-color: #60A5FA; color: #00D4FF; }"));
    headerLayout->addWidget(docButton);
    statusLabel = new QLabel(QStringLiteral("⚫ 未启动"));
    statusLabel->setObjectName(QStringLiteral("connStatus"));
    headerLayout->addWidget(statusLabel);
    return header;
}

QScrollArea *TuioWidget::buildSettingsColumn()
{
    settingsScroll = new QScrollArea;
    settingsScroll->setWidgetResizable(false);
    settingsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    settingsScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    settingsScroll->setFixedWidth(260);
    auto *settings = new QWidget;
    settings->setFixedWidth(248);
    auto *column = new QVBoxLayout(settings);
    column->setSpacing(8);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(buildModeGroup());
    serverGroup = buildServerGroup();
    column->addWidget(serverGroup);
    clientGroup = buildClientGroup();
    column->addWidget(clientGroup);
    clientGroup->hide();
    capturePanel = new CapturePanel(captureRecorder, captureReplayer, sendReplayer, datagramSender);
    column->addWidget(capturePanel);
    column->addWidget(buildDisplayGroup());
    column->addStretch(0);
    settingsScroll->setWidget(settings);
    return settingsScroll;
}

QGroupBox *TuioWidget::buildModeGroup()
{
    auto *modeGroup = new QGroupBox(QStringLiteral("工作模式"));
    auto *modeLayout = new QVBoxLayout(modeGroup);
    modeLayout->setSpacing(4);
    serverRadio = new QRadioButton(QStringLiteral("服务器模式(接收+显示)"));
    clientRadio = new QRadioButton(QStringLiteral("客户端模式(模拟+发送"));
    serverRadio->setChecked(true);
    modeLayout->addWidget(serverRadio);
    modeLayout->addWidget(clientRadio);
    return modeGroup;
}

QGroupBox *TuioWidget::buildServerGroup()
{
    auto *group = new QGroupBox(QStringLiteral("服务器设置"));
    group->setObjectName(QStringLiteral("serverGroup"));
    auto *layout = new QVBoxLayout(group);
    layout->setSpacing(8);
    layout->setContentsMargins(0, 0, 0, 8);
    listenPortSpin = makeSpin("listenPortSpin", 1, 65535, 3333);
    layout->addLayout(labelledRow(QStringLiteral("监听端口"), listenPortSpin));
    serverStartButton = new QPushButton(QStringLiteral("开始监听"));
    serverStartButton->setObjectName(QStringLiteral("accentButton"));
    serverStartButton->setFixedHeight(36);
    layout->addWidget(serverStartButton);
    return group;
}

QGroupBox *TuioWidget::buildClientGroup()
{
    auto *group = new QGroupBox(QStringLiteral("客户端设置"));
    group->setObjectName(QStringLiteral("clientGroup"));
    auto *layout = new QVBoxLayout(group);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 8);

    auto *form = new QFormLayout;
    form->setSpacing(6);
    targetHostEdit = new QLineEdit(QStringLiteral("127.0.0.1"));
    targetHostEdit->setObjectName(QStringLiteral("targetHostEdit"));
    targetPortSpin = makeSpin("targetPortSpin", 1, 65535, 3333);
    localPortSpin = makeSpin("localPortSpin", 0, 65535, 0);
    localPortSpin->setSpecialValueText(QStringLiteral("自动"));
    simModeCombo = new QComboBox;
    simModeCombo->setObjectName(QStringLiteral("simModeCombo"));
    simModeCombo->addItems(
        {QStringLiteral("光标模式"), QStringLiteral("物体模式"), QStringLiteral("多点模式")});
    simModeCombo->setCurrentIndex(CursorMode);
    // Index 0 stays the default: what the client has always sent.
    framingCombo = new QComboBox;
    framingCombo->setObjectName(QStringLiteral("framingCombo"));
    framingCombo->addItems({QStringLiteral("单条消息"), QStringLiteral("TUIO 1.1 帧")});
    for (QWidget *field :
         {static_cast<QWidget *>(targetHostEdit), static_cast<QWidget *>(targetPortSpin),
          static_cast<QWidget *>(localPortSpin), static_cast<QWidget *>(simModeCombo),
          static_cast<QWidget *>(framingCombo)})
        field->setMinimumHeight(28);
    form->addRow(QStringLiteral("目标地址:"), targetHostEdit);
    form->addRow(QStringLiteral("目标端口:"), targetPortSpin);
    form->addRow(QStringLiteral("本地端口:"), localPortSpin);
    form->addRow(QStringLiteral("模拟模式:"), simModeCombo);
    form->addRow(QStringLiteral("帧格式:"), framingCombo);
    layout->addLayout(form);
    layout->addWidget(buildObjectConfig());

    objectCountLabel = new QLabel(QStringLiteral("物体: 0"));
    objectCountLabel->setObjectName(QStringLiteral("objectCountLabel"));
    objectCountLabel->setStyleSheet(QStringLiteral("color: #00D4FF; font-size: 10px;"));
    layout->addWidget(objectCountLabel);
    anchorCountLabel = new QLabel(QStringLiteral("锚点: 0"));
    anchorCountLabel->setObjectName(QStringLiteral("anchorCountLabel"));
    anchorCountLabel->setStyleSheet(QStringLiteral("color: #F59E0B; font-size: 10px;"));
    anchorCountLabel->hide();
    layout->addWidget(anchorCountLabel);

    clientStartButton = new QPushButton(QStringLiteral("启动客户端"));
    clientStartButton->setObjectName(QStringLiteral("accentButton"));
    clientStartButton->setFixedHeight(36);
    layout->addWidget(clientStartButton);
    clearAllButton = new QPushButton(QStringLiteral("清除全部"));
    clearAllButton->setObjectName(QStringLiteral("clearAllButton"));
    clearAllButton->setFixedHeight(30);
    layout->addWidget(clearAllButton);
    return group;
}

QWidget *TuioWidget::buildObjectConfig()
{
    objectConfig = new QWidget;
    objectConfig->setObjectName(QStringLiteral("objCfg"));
    auto *objectForm = new QFormLayout(objectConfig);
    objectForm->setSpacing(4);
    objectForm->setContentsMargins(0, 0, 0, 0);
    classIdSpin = makeSpin("classIdSpin", 0, 999, 0);
    angleSpin = new QDoubleSpinBox;
    angleSpin->setObjectName(QStringLiteral("angleSpin"));
    angleSpin->setDecimals(2);
    angleSpin->setRange(0.0, 6.28);
    angleSpin->setSingleStep(0.1);
    angleSpin->setValue(0.0);
    objectForm->addRow(QStringLiteral("Class ID:"), classIdSpin);
    objectForm->addRow(QStringLiteral("角度(rad):"), angleSpin);
    return objectConfig;
}

QGroupBox *TuioWidget::buildDisplayGroup()
{
    auto *displayGroup = new QGroupBox(QStringLiteral("显示设置"));
    auto *displayLayout = new QVBoxLayout(displayGroup);
    displayLayout->setSpacing(6);
    displayLayout->setContentsMargins(0, 0, 0, 8);
    timestampCheck = new QCheckBox(QStringLiteral("显示时间戳"));
    timestampCheck->setChecked(true);
    autoScrollCheck = new QCheckBox(QStringLiteral("自动滚动"));
    autoScrollCheck->setChecked(true);
    lineSpacingSpin = makeSpin("lineSpacingSpin", -10, 10, 0);
    lineSpacingSpin->setSuffix(QStringLiteral(" px"));
    fontSizeSpin = makeSpin("fontSizeSpin", 7, 16, 11);
    fontSizeSpin->setSuffix(QStringLiteral(" pt"));
    displayLayout->addWidget(timestampCheck);
    displayLayout->addWidget(autoScrollCheck);
    displayLayout->addLayout(labelledRow(QStringLiteral("行间距"), lineSpacingSpin));
    displayLayout->addLayout(labelledRow(QStringLiteral("字号"), fontSizeSpin));
    return displayGroup;
}

QWidget *TuioWidget::buildRightPanel()
{
    auto *panel = new QWidget;
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    tabs = new QTabWidget;
    layout->addWidget(tabs, 1);

    canvas = new TouchCanvas(tabs);
    tabs->addTab(canvas, QStringLiteral("触摸桌面"));

    auto *objectsPage = new QWidget;
    auto *objectsLayout = new QVBoxLayout(objectsPage);
    objectsLayout->setContentsMargins(0, 0, 0, 0);
    objectTree = new QTreeWidget;
    objectTree->setObjectName(QStringLiteral("objectTree"));
    objectTree->setHeaderLabels(
        {QStringLiteral("ID"), QStringLiteral("Position"), QStringLiteral("Angle")});
    objectTree->setRootIsDecorated(true);
    // All rows are one line of one font; the view then need not measure a row whose text changed.
    objectTree->setUniformRowHeights(true);
    objectTree->header()->setStretchLastSection(true);
    objectsLayout->addWidget(objectTree);
    tabs->addTab(objectsPage, QStringLiteral("TUIO 对象"));

    logView = new LogViewWidget(comm, tabs);
    tabs->addTab(logView, QStringLiteral("通信日志"));

    frameView = new FrameAnalysisView(tuioFrameAnalysis, tabs);
    tabs->addTab(frameView, QStringLiteral("帧分析"));
    tabs->setCurrentIndex(0);
    return panel;
}

void TuioWidget::connectCanvas()
{
    connect(canvas, &TouchCanvas::cursorDown, this, &TuioWidget::onCursorDown);
    connect(canvas, &TouchCanvas::cursorMove, this, &TuioWidget::onCursorMove);
    connect(canvas, &TouchCanvas::cursorUp, this, &TuioWidget::onCursorUp);
    connect(canvas, &TouchCanvas::objectPlaced, this, &TuioWidget::onObjectPlaced);
    connect(canvas, &TouchCanvas::objectMoved, this, &TuioWidget::onObjectMoved);
    connect(canvas, &TouchCanvas::anchorAdded, this, &TuioWidget::onAnchorAdded);
    connect(canvas, &TouchCanvas::anchorRemoved, this, &TuioWidget::onAnchorRemoved);
    connect(canvas, &TouchCanvas::multiTouchMove, this, &TuioWidget::onMultiTouchMove);
}

void TuioWidget::connectReceivedTraffic()
{
    // socket -> receiver (logs) -> session tables -> canvas; the tree once a burst pauses. The
    // frame analysis reads the messages the tables just decoded.
    tuioSessions->setSink(canvas);
    // A replayed capture (it logs as the receiver does) takes the same road.
    const auto received = [this](const QByteArray &datagram, const QHostAddress &sender,
                                 quint16 senderPort, qint64 arrivalNs) {
        tuioSessions->processDatagram(datagram);
        tuioFrameAnalysis->analyse(datagram, tuioSessions->lastDecoded(), sender, senderPort,
                                   arrivalNs);
    };
    connect(tuioReceiver, &TuioReceiver::drainStarted, this, [this] { holdCanvasFrame(); });
    connect(tuioReceiver, &TuioReceiver::datagramReceived, this, received);
    connect(tuioReceiver, &TuioReceiver::drainFinished, tuioSessions, &TuioSessions::endBatch);
    connect(captureReplayer, &CaptureReplayer::batchStarted, this, [this] { holdCanvasFrame(); });
    connect(captureReplayer, &CaptureReplayer::datagram, this, received);
    connect(captureReplayer, &CaptureReplayer::batchFinished, tuioSessions,
            &TuioSessions::endBatch);
    connect(tuioSessions, &TuioSessions::batchApplied, treeRefreshTimer,
            qOverload<>(&QTimer::start));
}

void TuioWidget::connectCapture()
{
    connect(tuioReceiver, &TuioReceiver::datagramReceived, captureRecorder,
            &CaptureRecorder::record);
    connect(sendReplayer, &CaptureReplayer::datagram, datagramSender, &DatagramSender::send);
    capturePanel->setSendTarget(targetHostEdit, targetPortSpin);
    connect(capturePanel, &CapturePanel::systemMessage, comm, &CommunicationBase::logSystem);
    // The column keeps its size unless told; the panel's status lines come and go.
    connect(capturePanel, &CapturePanel::heightChanged, settingsScroll->widget(),
            &QWidget::adjustSize);
    // A replay shows the capture alone, and live traffic must not mix into it.
    connect(capturePanel, &CapturePanel::replayActiveChanged, this, [this](bool active) {
        serverStartButton->setEnabled(!active);
        if (active) {
            tuioFrameAnalysis->clear();
            clearReceived();
        }
    });
}

void TuioWidget::holdCanvasFrame()
{
    // A canvas paint costs about a millisecond; under a stream it would otherwise run after every
    // drain. Its tables still change at once, only the paint waits for the frame to end.
    if (canvasFrameTimer->isActive()) {
        if (canvas->updatesEnabled())
            canvas->setUpdatesEnabled(false);
    } else {
        canvasFrameTimer->start();
    }
}

bool TuioWidget::event(QEvent *event)
{
    if (event->type() != QEvent::UpdateRequest)
        return QWidget::event(event);
    // Painting the window; with thousands of sessions on the canvas that takes 10 to 30 ms. The
    // next frame then waits twice as long as this paint took, so that painting keeps at least two
    // thirds of the GUI thread for input and traffic.
    QElapsedTimer paint;
    paint.start();
    const bool handled = QWidget::event(event);
    canvasFrameTimer->setInterval(
        int(std::clamp<qint64>(2 * paint.elapsed(), minCanvasFrameMs, maxCanvasFrameMs)));
    return handled;
}

void TuioWidget::releaseCanvasFrame()
{
    if (canvas->updatesEnabled())
        return;
    // Re-enabling repaints the whole canvas; the next frame starts with that paint.
    canvas->setUpdatesEnabled(true);
    canvasFrameTimer->start();
}

void TuioWidget::toggleConnection()
{
    if (running)
        stopConnection();
    else
        startConnection();
}

void TuioWidget::startConnection()
{
    if (serverMode) {
        const int port = listenPortSpin->value();
        if (!tuioReceiver->listen(quint16(port))) {
            QMessageBox::critical(this, QStringLiteral("绑定失败"), tuioReceiver->errorString(),
                                  QMessageBox::Ok);
            return;
        }
        running = true;
        comm->logSystem(QStringLiteral("TUIO服务器 端口 %1").arg(port));
    } else {
        tuioSender->start(targetHostEdit->text(), quint16(targetPortSpin->value()),
                          quint16(localPortSpin->value()),
                          framingCombo->currentIndex() == 1 ? TuioFraming::Frames
                                                            : TuioFraming::SingleMessages);
        running = true;
        // One pass: a "%2" typed into the host field stays as typed.
        comm->logSystem(QStringLiteral("TUIO客户端 -> %1:%2")
                            .arg(targetHostEdit->text(), QString::number(targetPortSpin->value())));
        // Frames announce what the canvas already shows.
        if (sendsFrames())
            sendLiveSessions();
    }
    // The analysis of the last run stays readable until now.
    tuioFrameAnalysis->clear();
    updateStartButtons();
    updateConnectionStatus();
}

void TuioWidget::stopConnection()
{
    tuioReceiver->stop();
    tuioSender->stop();
    running = false;
    clearReceived();
    updateStartButtons();
    updateConnectionStatus();
    comm->logSystem(serverMode ? QStringLiteral("服务器已停止") : QStringLiteral("客户端已停止"));
}

void TuioWidget::clearReceived()
{
    tuioSessions->clear();
    canvas->clearAll();
    refreshObjectTree();
}

void TuioWidget::toggleMode(bool toServer)
{
    if (running)
        stopConnection();
    serverMode = toServer;
    serverGroup->setVisible(serverMode);
    clientGroup->setVisible(!serverMode);
    capturePanel->setServerMode(serverMode);
    if (serverMode) {
        canvas->setSimMode(CursorMode);
    } else {
        simMode = CursorMode;
        simModeCombo->setCurrentIndex(CursorMode);
        canvas->setSimMode(simMode);
    }
    clearReceived();
    updateSimControls();
    if (QWidget *content = settingsScroll->widget())
        content->adjustSize();
    comm->logSystem(serverMode ? QStringLiteral("服务器模式") : QStringLiteral("客户端模式"));
}

void TuioWidget::setSimMode(int modeIdx)
{
    simMode = SimMode(modeIdx);
    canvas->setSimMode(modeIdx);
    updateSimControls();
    comm->logSystem(QStringLiteral("模拟模式: %1").arg(simModeCombo->currentText()));
    // Each mode shows its own sessions as live: the others leave the frames.
    if (sendsFrames())
        sendLiveSessions();
}

void TuioWidget::updateSimControls()
{
    objectConfig->setVisible(simMode == ObjectMode);
    anchorCountLabel->setVisible(simMode == MultiTouchMode);
}

void TuioWidget::updateStartButtons()
{
    capturePanel->setListening(running && serverMode, quint16(listenPortSpin->value()));
    showStartButton(serverMode ? serverStartButton : clientStartButton, running);
}

void TuioWidget::showStartButton(QPushButton *button, bool live)
{
    // Kept for the language switch too, which otherwise restores the text of an earlier state.
    const bool server = button == serverStartButton;
    UiLanguage &language = UiLanguage::instance();
    if (live) {
        language.showText(button,
                          server ? QStringLiteral("停止监听") : QStringLiteral("停止客户端"));
        button->setStyleSheet(QLatin1String(runningButtonStyle));
    } else {
        language.showText(button,
                          server ? QStringLiteral("开始监听") : QStringLiteral("启动客户端"));
        button->setObjectName(QStringLiteral("accentButton"));
        button->setStyleSheet(QString());
    }
}

void TuioWidget::refreshLiveTexts()
{
    // A switch back restores the texts remembered at the first switch, which can name a state or
    // a count the tool has long left. Until the first start the status label keeps its created
    // text and look.
    if (!statusLabel->styleSheet().isEmpty())
        updateConnectionStatus();
    updateObjectCount();
    updateAnchorCount();
    logView->onCountersUpdated();
}

void TuioWidget::updateObjectCount()
{
    objectCountLabel->setText(QStringLiteral("物体: %1").arg(canvas->simObjects().size()));
}

void TuioWidget::updateAnchorCount()
{
    anchorCountLabel->setText(QStringLiteral("锚点: %1").arg(canvas->anchors().size()));
}

void TuioWidget::updateConnectionStatus()
{
    const bool english = UiLanguage::instance().isEnglish();
    QString text;
    QString color = QStringLiteral("#10B981");
    if (running && serverMode) {
        text = english ? QStringLiteral("🟢 Listening") : QStringLiteral("🟢 监听中");
    } else if (running) {
        text = english ? QStringLiteral("🔵 Sending") : QStringLiteral("🔵 发送中");
    } else {
        text = english ? QStringLiteral("⚫ Stopped") : QStringLiteral("⚫ 未启动");
        color = QStringLiteral("#64748B");
    }
    statusLabel->setText(text);
    statusLabel->setStyleSheet(
        QStringLiteral("font-size: 13px; color: %1; background: transparent;").arg(color));
}

void TuioWidget::refreshObjectTree()
{
    // The two groups and their rows live on and only changed texts are set, so the tree keeps the
    // user's scroll position and expansion, and a refresh costs little when little changed.
    if (objectTree->topLevelItemCount() < 2) {
        objectTree->clear();
        itemGroups.fill(nullptr);
        auto *objects =
            new QTreeWidgetItem(objectTree, {QStringLiteral("Objects"), QStringLiteral("Pos"),
                                             QStringLiteral("Angle")});
        objects->setForeground(0, QColor(QStringLiteral("#00D4FF")));
        auto *cursors = new QTreeWidgetItem(
            objectTree, {QStringLiteral("Cursors"), QStringLiteral("Pos"), QString()});
        cursors->setForeground(0, QColor(QStringLiteral("#F59E0B")));
        objectTree->expandAll();
    }

    QTreeWidgetItem *objects = objectTree->topLevelItem(0);
    const TuioObjectTable &tuioObjects = tuioSessions->objects();
    TreeRows objectRows(objects, tuioObjects.size());
    for (auto it = tuioObjects.cbegin(); it != tuioObjects.cend(); ++it) {
        objectRows.put(
            QStringLiteral("s%1 c%2").arg(it.key()).arg(it->classId),
            QStringLiteral("%1,%2").arg(double(it->x), 0, 'f', 3).arg(double(it->y), 0, 'f', 3),
            QString::number(double(it->angle), 'f', 2));
    }
    objectRows.finish();

    QTreeWidgetItem *cursors = objectTree->topLevelItem(1);
    const TuioCursorTable &tuioCursors = tuioSessions->cursors();
    TreeRows cursorRows(cursors, tuioCursors.size());
    for (auto it = tuioCursors.cbegin(); it != tuioCursors.cend(); ++it) {
        cursorRows.put(
            QStringLiteral("s%1").arg(it.key()),
            QStringLiteral("%1,%2").arg(double(it->x), 0, 'f', 3).arg(double(it->y), 0, 'f', 3),
            QString());
    }
    cursorRows.finish();

    // The other profiles' groups follow in the protocol's order, each only while it has sessions.
    int position = 2;
    for (int index = 0; index < tuioItemProfileCount; ++index) {
        const TuioProfile profile = tuioItemProfile(index);
        const TuioItemTable &table = tuioSessions->items(profile);
        QTreeWidgetItem *&group = itemGroups[size_t(index)];
        if (table.isEmpty()) {
            delete group;
            group = nullptr;
            continue;
        }
        if (!group) {
            group = new QTreeWidgetItem;
            group->setForeground(0, QColor(tuioProfileIsBlob(profile)     ? 0xA78BFA
                                           : tuioProfileIsObject(profile) ? 0x00D4FF
                                                                          : 0xF59E0B));
            objectTree->insertTopLevelItem(position, group);
            // The title is longer than an id; positions with z longer than the column's default.
            group->setFirstColumnSpanned(true);
            group->setExpanded(true);
            if (tuioProfileHasZ(profile)) {
                const int wide = objectTree->fontMetrics().horizontalAdvance(
                                     QStringLiteral("-0.000,-0.000,-0.000")) +
                                 16;
                if (objectTree->columnWidth(1) < wide)
                    objectTree->setColumnWidth(1, wide);
            }
        }
        const QString title = itemGroupTitle(profile);
        if (group->text(0) != title)
            group->setText(0, title);
        putItemRows(group, profile, table);
        ++position;
    }
}

QList<int> TuioWidget::anchorIds() const
{
    QList<int> ids;
    const QList<Anchor> anchors = canvas->anchors();
    ids.reserve(anchors.size() + 1);
    for (const Anchor &anchor : anchors)
        ids.append(anchor.sid);
    return ids;
}

QList<int> TuioWidget::objectIds() const
{
    QList<int> ids;
    const QList<SimObject> objects = canvas->simObjects();
    ids.reserve(objects.size());
    for (const SimObject &object : objects)
        ids.append(object.sid);
    return ids;
}

bool TuioWidget::sendsFrames() const
{
    return !serverMode && tuioSender->isRunning() && tuioSender->framing() == TuioFraming::Frames;
}

void TuioWidget::sendLiveSessions()
{
    QList<TuioCursorState> cursors;
    QList<TuioObjectState> objects;
    if (simMode == MultiTouchMode) {
        for (const Anchor &anchor : canvas->anchors())
            cursors.append({anchor.sid, anchor.x, anchor.y});
    }
    if (simMode == ObjectMode) {
        for (const SimObject &object : canvas->simObjects())
            objects.append({object.sid, object.cid, object.x, object.y, object.angle});
    } else {
        // The held left button: the dragged cursor, or the active point after the anchors. Its
        // position is reckoned as the canvas reckons the one it emits.
        const QMap<int, QPointF> &positions = canvas->pointerPositions();
        for (auto it = positions.cbegin(); it != positions.cend(); ++it)
            cursors.append({canvas->pointerSids().value(it.key()),
                            float(it->x() / double(canvas->width())),
                            float(it->y() / double(canvas->height()))});
    }
    tuioSender->setLiveSessions(cursors, objects);
}

// Canvas gestures become datagrams in client mode only; the sender sends nothing unless started.
// With frames, each gesture hands the sender the live sessions instead.

void TuioWidget::onCursorDown(int id, float x, float y)
{
    if (sendsFrames())
        sendLiveSessions();
    else if (!serverMode)
        tuioSender->sendCursorMessage(QStringLiteral("set"), id, x, y);
}

void TuioWidget::onCursorMove(int id, float x, float y)
{
    if (sendsFrames())
        sendLiveSessions();
    else if (!serverMode)
        tuioSender->sendCursorMessage(QStringLiteral("set"), id, x, y);
}

void TuioWidget::onCursorUp(int id)
{
    Q_UNUSED(id)
    if (serverMode)
        return;
    if (sendsFrames()) {
        sendLiveSessions();
        updateObjectCount();
        return;
    }
    switch (simMode) {
    case MultiTouchMode:
        tuioSender->sendCursorAlive(anchorIds());
        break;
    case ObjectMode:
        tuioSender->sendObjectAlive(objectIds());
        updateObjectCount();
        break;
    default:
        tuioSender->sendCursorMessage(QStringLiteral("alive"), 0, 0.0f, 0.0f);
        break;
    }
}

void TuioWidget::onObjectPlaced(int sid, int cid, float x, float y, float angle)
{
    Q_UNUSED(cid)
    Q_UNUSED(angle)
    if (serverMode)
        return;
    // The fields decide a new object's class and angle, not the canvas.
    const int classId = classIdSpin->value();
    const float fieldAngle = float(angleSpin->value());
    QList<SimObject> objects = canvas->simObjects();
    for (SimObject &object : objects) {
        if (object.sid == sid) {
            object.cid = classId;
            object.angle = fieldAngle;
            break;
        }
    }
    canvas->setSimObjects(objects);
    if (sendsFrames()) {
        sendLiveSessions();
    } else {
        tuioSender->sendObjectMessage(QStringLiteral("set"), sid, classId, x, y, fieldAngle);
        tuioSender->sendObjectAlive(objectIds());
    }
    updateObjectCount();
}

void TuioWidget::onObjectMoved(int sid, int cid, float x, float y, float angle)
{
    if (serverMode)
        return;
    if (sendsFrames()) {
        sendLiveSessions();
        return;
    }
    const QList<SimObject> objects = canvas->simObjects();
    for (const SimObject &object : objects) {
        if (object.sid == sid) {
            cid = object.cid;
            angle = object.angle;
            break;
        }
    }
    tuioSender->sendObjectMessage(QStringLiteral("set"), sid, cid, x, y, angle);
    tuioSender->sendObjectAlive(objectIds());
}

void TuioWidget::onAnchorAdded(int sid, float x, float y)
{
    if (serverMode)
        return;
    if (sendsFrames())
        sendLiveSessions();
    else
        tuioSender->sendCursorMessage(QStringLiteral("set"), sid, x, y);
    updateAnchorCount();
}

void TuioWidget::onAnchorRemoved(int sid)
{
    Q_UNUSED(sid)
    if (serverMode)
        return;
    if (sendsFrames())
        sendLiveSessions();
    else
        tuioSender->sendCursorAlive(anchorIds());
    updateAnchorCount();
}

void TuioWidget::onMultiTouchMove(int activeSid, float x, float y)
{
    if (serverMode)
        return;
    if (sendsFrames()) {
        sendLiveSessions();
        return;
    }
    tuioSender->sendCursorMessage(QStringLiteral("set"), activeSid, x, y);
    QList<int> alive = anchorIds();
    alive.append(activeSid);
    tuioSender->sendCursorAlive(alive);
}
