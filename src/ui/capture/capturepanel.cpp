#include "capture/capturepanel.h"

#include "capture/capturerecorder.h"
#include "capture/datagramsender.h"
#include "i18n/uilanguage.h"
#include "tuio/tuiomessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

// The property UiLanguage restores a text from when switching back to Chinese.
const char *const origTextProperty = "origText";
constexpr int progressSteps = 1000;
constexpr int defaultSpeedIndex = 2;

// One pass, so a "%2" inside a file name stays as it is.
QString fill(const QString &text, const QStringList &arguments)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() ? text.at(i + 1).digitValue() : -1;
        if (text.at(i) == QLatin1Char('%') && n >= 1 && n <= arguments.size()) {
            out += arguments.at(n - 1);
            ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

// Dynamic texts keep their Chinese form where UiLanguage looks for it, so its switch back to
// Chinese shows the current state rather than an old one.
void showText(QWidget *widget, const QString &text, const QStringList &arguments = {})
{
    widget->setProperty(origTextProperty, fill(text, arguments));
    widget->setProperty("text", fill(UiLanguage::instance().translate(text), arguments));
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

// "01:05.0": minutes, seconds and tenths.
QString clockText(qint64 ns)
{
    const qint64 tenths = ns / 100'000'000;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600, 2, 10, QLatin1Char('0'))
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

void showProgress(QProgressBar *bar, qint64 positionNs, qint64 durationNs)
{
    bar->setValue(durationNs > 0 ? int(positionNs * progressSteps / durationNs)
                                 : (positionNs > 0 ? progressSteps : 0));
    bar->setFormat(clockText(positionNs) + QStringLiteral(" / ") + clockText(durationNs));
}

QProgressBar *makeProgressBar(const char *name)
{
    auto *bar = new QProgressBar;
    bar->setObjectName(QLatin1String(name));
    bar->setRange(0, progressSteps);
    bar->setTextVisible(true);
    bar->setFixedHeight(18);
    showProgress(bar, 0, 0);
    return bar;
}

QLabel *makeStatusLabel(const char *name)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->hide();
    return label;
}

} // namespace

CapturePanel::CapturePanel(CaptureRecorder *recorder, CaptureReplayer *replayer,
                           CaptureReplayer *sendReplayer, DatagramSender *sender, QWidget *parent)
    : QGroupBox(QStringLiteral("抓包文件"), parent), recorder(recorder), replayer(replayer),
      sendReplayer(sendReplayer), sender(sender)
{
    setObjectName(QStringLiteral("capturePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 8);
    serverSection = buildServerSection();
    clientSection = buildClientSection();
    layout->addWidget(serverSection);
    layout->addWidget(clientSection);
    clientSection->hide();

    connect(recordButton, &QPushButton::clicked, this, &CapturePanel::toggleRecording);
    connect(recorder, &CaptureRecorder::progress, this, &CapturePanel::onRecordProgress);
    connect(recorder, &CaptureRecorder::failed, this, &CapturePanel::onRecordFailed);
    connect(replayButton, &QPushButton::clicked, this, &CapturePanel::startReplay);
    connect(pauseButton, &QPushButton::clicked, this, &CapturePanel::togglePause);
    connect(replayStopButton, &QPushButton::clicked, replayer, &CaptureReplayer::stop);
    connect(speedCombo, &QComboBox::currentIndexChanged, this, &CapturePanel::onSpeedChanged);
    connect(loopCheck, &QCheckBox::toggled, this, [replayer](bool on) { replayer->setLoop(on); });
    connect(replayer, &CaptureReplayer::stateChanged, this, &CapturePanel::onReplayState);
    connect(replayer, &CaptureReplayer::progress, replayProgress,
            [this](qint64 position, qint64 duration) {
                showProgress(replayProgress, position, duration);
            });
    connect(sendButton, &QPushButton::clicked, this, &CapturePanel::toggleSending);
    connect(sendReplayer, &CaptureReplayer::stateChanged, this, &CapturePanel::onSendState);
    connect(sendReplayer, &CaptureReplayer::progress, sendProgress,
            [this](qint64 position, qint64 duration) {
                showProgress(sendProgress, position, duration);
            });
    connect(sender, &DatagramSender::sendFailed, this, &CapturePanel::onSendFailed);

    QPointer<CapturePanel> self(this);
    UiLanguage::instance().addListener([self] {
        if (self)
            self->refreshTexts();
    });
    onSpeedChanged(speedCombo->currentIndex());
    refreshTexts();
    updateControls();
}

QWidget *CapturePanel::buildServerSection()
{
    auto *section = new QWidget;
    section->setObjectName(QStringLiteral("captureServerSection"));
    auto *layout = new QVBoxLayout(section);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    recordButton = makeButton("recordButton", QStringLiteral("● 录制"));
    layout->addWidget(recordButton);
    recordStatusLabel = makeStatusLabel("recordStatus");
    layout->addWidget(recordStatusLabel);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    replayButton = makeButton("replayButton", QStringLiteral("回放…"));
    pauseButton = makeButton("replayPauseButton", QStringLiteral("暂停"));
    replayStopButton = makeButton("replayStopButton", QStringLiteral("停止"));
    buttons->addWidget(replayButton, 2);
    buttons->addWidget(pauseButton, 1);
    buttons->addWidget(replayStopButton, 1);
    layout->addLayout(buttons);

    auto *options = new QHBoxLayout;
    options->setSpacing(6);
    speedCombo = new QComboBox;
    speedCombo->setObjectName(QStringLiteral("replaySpeedCombo"));
    // 0 stands for as fast as possible.
    const std::pair<const char *, double> speeds[] = {{"¼×", 0.25}, {"½×", 0.5}, {"1×", 1.0},
                                                      {"2×", 2.0},  {"4×", 4.0}, {"8×", 8.0},
                                                      {"最快", 0.0}};
    for (const auto &[text, speed] : speeds)
        speedCombo->addItem(QString::fromUtf8(text), speed);
    speedCombo->setCurrentIndex(defaultSpeedIndex);
    // The row is narrow; the label and the check box take what the combo box leaves, in English
    // too.
    speedCombo->setFixedWidth(84);
    loopCheck = new QCheckBox(QStringLiteral("循环"));
    loopCheck->setObjectName(QStringLiteral("replayLoopCheck"));
    options->addWidget(new QLabel(QStringLiteral("速度")), 1);
    options->addWidget(speedCombo);
    options->addWidget(loopCheck, 1);
    layout->addLayout(options);

    replayProgress = makeProgressBar("replayProgress");
    layout->addWidget(replayProgress);
    replayStatusLabel = makeStatusLabel("replayStatus");
    layout->addWidget(replayStatusLabel);
    return section;
}

QWidget *CapturePanel::buildClientSection()
{
    auto *section = new QWidget;
    section->setObjectName(QStringLiteral("captureClientSection"));
    auto *layout = new QVBoxLayout(section);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    sendButton = makeButton("sendButton", QStringLiteral("发送到目标…"));
    layout->addWidget(sendButton);
    sendProgress = makeProgressBar("sendProgress");
    layout->addWidget(sendProgress);
    sendStatusLabel = makeStatusLabel("sendStatus");
    layout->addWidget(sendStatusLabel);
    return section;
}

QPushButton *CapturePanel::makeButton(const char *name, const QString &text)
{
    auto *button = new QPushButton(text);
    button->setObjectName(QLatin1String(name));
    button->setFixedHeight(30);
    return button;
}

void CapturePanel::setSendTarget(QLineEdit *host, QSpinBox *port)
{
    targetHost = host;
    targetPort = port;
}

void CapturePanel::setListening(bool on, quint16 port)
{
    listening = on;
    listenPort = port;
    if (!on && recorder->isRecording())
        toggleRecording();
    updateControls();
}

void CapturePanel::setServerMode(bool server)
{
    serverMode = server;
    serverSection->setVisible(server);
    clientSection->setVisible(!server);
    if (server)
        sendReplayer->stop();
    else
        replayer->stop();
}

QString CapturePanel::defaultRecordingPath(const QDateTime &when)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(when.toString(QStringLiteral("'tactora-'yyyyMMdd-HHmmss'.pcap'")));
}

QString CapturePanel::choose(bool save, const QString &suggested)
{
    if (chooseFile)
        return chooseFile(save, suggested);
    const UiLanguage &language = UiLanguage::instance();
    if (save)
        return QFileDialog::getSaveFileName(
            this, language.translate(QStringLiteral("录制到文件")), suggested,
            language.translate(QStringLiteral("pcap 文件 (*.pcap)")));
    return QFileDialog::getOpenFileName(
        this, language.translate(QStringLiteral("打开抓包文件")),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        language.translate(QStringLiteral("抓包文件 (*.pcap *.pcapng)")));
}

void CapturePanel::log(const QString &text, const QStringList &arguments)
{
    emit systemMessage(fill(UiLanguage::instance().translate(text), arguments));
}

void CapturePanel::setStatus(QLabel *label, Status &status, const QString &text,
                             const QStringList &arguments)
{
    const QString before = label->text();
    status = {text, arguments};
    showText(label, text, arguments);
    label->setVisible(!text.isEmpty());
    if (label->text() != before)
        emit heightChanged();
}

void CapturePanel::refreshTexts()
{
    if (recorder->isRecording())
        showText(recordButton, QStringLiteral("■ 停止录制 (%1)"),
                 {QString::number(recorder->datagramCount())});
    else
        showText(recordButton, QStringLiteral("● 录制"));
    showText(pauseButton, replayer->state() == CaptureReplayer::State::Paused
                              ? QStringLiteral("继续")
                              : QStringLiteral("暂停"));
    showText(sendButton, sendReplayer->state() == CaptureReplayer::State::Stopped
                             ? QStringLiteral("发送到目标…")
                             : QStringLiteral("■ 停止发送"));
    const std::pair<QLabel *, const Status *> labels[] = {{recordStatusLabel, &recordStatus},
                                                          {replayStatusLabel, &replayStatus},
                                                          {sendStatusLabel, &sendStatus}};
    for (const auto &[label, status] : labels)
        showText(label, status->text, status->arguments);
}

void CapturePanel::updateControls()
{
    const bool replayIdle = replayer->state() == CaptureReplayer::State::Stopped;
    recordButton->setEnabled(listening || recorder->isRecording());
    replayButton->setEnabled(!listening && replayIdle);
    pauseButton->setEnabled(!replayIdle);
    replayStopButton->setEnabled(!replayIdle);
}

void CapturePanel::toggleRecording()
{
    if (recorder->isRecording()) {
        const QString path = recorder->fileName();
        // A failure to write the last bytes is reported by onRecordFailed.
        if (recorder->stop()) {
            const QString count = QString::number(recorder->datagramCount());
            setStatus(recordStatusLabel, recordStatus, QStringLiteral("已录制 %1 个数据报, %2: %3"),
                      {count, sizeText(recorder->byteCount()), QFileInfo(path).fileName()});
            log(QStringLiteral("录制结束: %1 (%2 个数据报)"), {path, count});
        }
    } else if (listening) {
        const QString path = choose(true, defaultRecordingPath(QDateTime::currentDateTime()));
        if (path.isEmpty())
            return;
        if (recorder->start(path, listenPort)) {
            log(QStringLiteral("录制开始: %1"), {path});
            onRecordProgress();
        } else {
            setStatus(recordStatusLabel, recordStatus, QStringLiteral("无法录制: %1"),
                      {recorder->errorString()});
            log(recordStatus.text, recordStatus.arguments);
        }
    }
    refreshTexts();
    updateControls();
}

void CapturePanel::onRecordProgress()
{
    if (!recorder->isRecording())
        return;
    setStatus(recordStatusLabel, recordStatus, QStringLiteral("录制中: %1 个数据报, %2"),
              {QString::number(recorder->datagramCount()), sizeText(recorder->byteCount())});
    refreshTexts();
}

void CapturePanel::onRecordFailed(const QString &fileName, const QString &error)
{
    setStatus(recordStatusLabel, recordStatus, QStringLiteral("录制失败: %1: %2"),
              {fileName, error});
    log(recordStatus.text, recordStatus.arguments);
    refreshTexts();
    updateControls();
}

bool CapturePanel::load(CaptureReplayer *target, QLabel *label, Status &status, const QString &path)
{
    if (target->load(path))
        return true;
    const qint64 count = target->datagramCount();
    if (count > 0)
        setStatus(label, status, QStringLiteral("读取中断: %1 (之前的 %2 个数据报仍可播放)"),
                  {target->errorString(), QString::number(count)});
    else
        setStatus(label, status, QStringLiteral("读取失败: %1"), {target->errorString()});
    log(status.text, status.arguments);
    return count > 0;
}

void CapturePanel::startReplay()
{
    if (listening || replayer->state() != CaptureReplayer::State::Stopped)
        return;
    const QString path = choose(false, QString());
    if (path.isEmpty() || !load(replayer, replayStatusLabel, replayStatus, path))
        return;
    // A damaged file keeps its error in view while the part before the damage plays.
    if (replayer->errorString().isEmpty())
        setStatus(replayStatusLabel, replayStatus, QStringLiteral("回放中: %1 (%2 个数据报)"),
                  {QFileInfo(path).fileName(), QString::number(replayer->datagramCount())});
    log(QStringLiteral("回放开始: %1"), {path});
    replayer->play();
}

void CapturePanel::togglePause()
{
    if (replayer->state() == CaptureReplayer::State::Playing)
        replayer->pause();
    else if (replayer->state() == CaptureReplayer::State::Paused)
        replayer->play();
}

void CapturePanel::onReplayState(CaptureReplayer::State state)
{
    const bool active = state != CaptureReplayer::State::Stopped;
    if (replayActive && !active) {
        const QString count = QString::number(replayer->playedCount());
        log(QStringLiteral("回放结束: %1 (%2 个数据报)"), {replayer->fileName(), count});
        if (replayer->errorString().isEmpty())
            setStatus(replayStatusLabel, replayStatus, QStringLiteral("回放结束: %1 (%2 个数据报)"),
                      {QFileInfo(replayer->fileName()).fileName(), count});
    }
    if (active != replayActive) {
        replayActive = active;
        emit replayActiveChanged(active);
    }
    refreshTexts();
    updateControls();
}

void CapturePanel::onSpeedChanged(int index)
{
    const double speed = speedCombo->itemData(index).toDouble();
    replayer->setFast(speed <= 0.0);
    if (speed > 0.0)
        replayer->setSpeed(speed);
}

void CapturePanel::toggleSending()
{
    if (sendReplayer->state() != CaptureReplayer::State::Stopped) {
        sendReplayer->stop();
        return;
    }
    if (!targetHost || !targetPort)
        return;
    const QHostAddress address = literalHostAddress(targetHost->text().trimmed());
    if (address.isNull()) {
        setStatus(sendStatusLabel, sendStatus, notLiteralAddressText());
        return;
    }
    const QString path = choose(false, QString());
    if (path.isEmpty() || !load(sendReplayer, sendStatusLabel, sendStatus, path))
        return;
    if (!sender->start(address, quint16(targetPort->value()))) {
        setStatus(sendStatusLabel, sendStatus, QStringLiteral("无法发送: %1"),
                  {sender->errorString()});
        log(sendStatus.text, sendStatus.arguments);
        return;
    }
    sendHost = targetHost->text().trimmed();
    sendPort = targetPort->value();
    const QString target = QStringLiteral("%1:%2").arg(sendHost, QString::number(sendPort));
    if (sendReplayer->errorString().isEmpty())
        setStatus(sendStatusLabel, sendStatus, QStringLiteral("发送中: %1 -> %2"),
                  {QFileInfo(path).fileName(), target});
    log(QStringLiteral("发送开始: %1 -> %2"), {path, target});
    sendReplayer->play();
}

void CapturePanel::onSendState(CaptureReplayer::State state)
{
    if (state == CaptureReplayer::State::Stopped && sender->isRunning()) {
        sender->stop();
        const QString count = QString::number(sender->sentCount());
        log(QStringLiteral("发送结束: %1 (%2 个数据报)"), {sendReplayer->fileName(), count});
        setStatus(sendStatusLabel, sendStatus, QStringLiteral("已发送 %1 个数据报 -> %2"),
                  {count, QStringLiteral("%1:%2").arg(sendHost, QString::number(sendPort))});
    }
    refreshTexts();
}

void CapturePanel::onSendFailed(const QString &error)
{
    emit systemMessage(sendFailureText(sendHost, sendPort, error));
}
