#pragma once

#include "capture/capturereplayer.h"

#include <QGroupBox>
#include <QString>
#include <QStringList>

#include <functional>

class CaptureRecorder;
class DatagramSender;
class QCheckBox;
class QComboBox;
class QDateTime;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QWidget;

// The "抓包文件" group. Server mode: records what the receiver hands on while listening, and plays
// a capture back while not. Client mode: sends a capture to the client's target, a stand-in
// tracker. It drives the core objects it is given; the window wires them to the receiver, the
// road of received traffic and the socket.
class CapturePanel : public QGroupBox
{
    Q_OBJECT

public:
    // A path for a new recording (`save`, offered `suggested`) or of a capture to open; empty
    // when the user cancelled.
    using FileChooser = std::function<QString(bool save, const QString &suggested)>;

    // None is owned; all must outlive the panel.
    CapturePanel(CaptureRecorder *recorder, CaptureReplayer *replayer,
                 CaptureReplayer *sendReplayer, DatagramSender *sender, QWidget *parent = nullptr);

    // Replaces the file dialogs, so tests never open one.
    void setFileChooser(FileChooser chooser) { chooseFile = std::move(chooser); }
    // The fields "发送到目标" reads when it starts.
    void setSendTarget(QLineEdit *host, QSpinBox *port);
    // A recording needs the receiver and ends with it; a replay must not mix with live traffic.
    void setListening(bool listening, quint16 port);
    // Record and replay belong to server mode, sending to client mode; leaving one stops its run.
    void setServerMode(bool server);

    // E.g. "tactora-20261206-193000.pcap" in the documents folder.
    static QString defaultRecordingPath(const QDateTime &when);

signals:
    // True from the start of a replay until it stops, pauses included.
    void replayActiveChanged(bool active);
    // A line for the log, in the current language.
    void systemMessage(const QString &message);
    // A status line appeared, went or changed; the panel wants another height.
    void heightChanged();

private slots:
    void toggleRecording();
    void onRecordProgress();
    void onRecordFailed(const QString &fileName, const QString &error);
    void startReplay();
    void togglePause();
    void onReplayState(CaptureReplayer::State state);
    void onSpeedChanged(int index);
    void toggleSending();
    void onSendState(CaptureReplayer::State state);
    void onSendFailed(const QString &error);

private:
    // A status in Chinese with its arguments, shown in the current language.
    struct Status
    {
        QString text;
        QStringList arguments;
    };

    QWidget *buildServerSection();
    QWidget *buildClientSection();
    QPushButton *makeButton(const char *name, const QString &text);
    QString choose(bool save, const QString &suggested);
    void log(const QString &text, const QStringList &arguments);
    void setStatus(QLabel *label, Status &status, const QString &text,
                   const QStringList &arguments = {});
    void refreshTexts();
    void updateControls();
    // False (with the status set) when nothing of the file could be loaded.
    bool load(CaptureReplayer *target, QLabel *label, Status &status, const QString &path);

    CaptureRecorder *recorder = nullptr;
    CaptureReplayer *replayer = nullptr;
    CaptureReplayer *sendReplayer = nullptr;
    DatagramSender *sender = nullptr;
    FileChooser chooseFile;
    QLineEdit *targetHost = nullptr;
    QSpinBox *targetPort = nullptr;
    bool listening = false;
    quint16 listenPort = 0;
    bool serverMode = true;
    bool replayActive = false;
    QString sendHost;
    int sendPort = 0;

    QWidget *serverSection = nullptr;
    QWidget *clientSection = nullptr;
    QPushButton *recordButton = nullptr;
    QLabel *recordStatusLabel = nullptr;
    QPushButton *replayButton = nullptr;
    QPushButton *pauseButton = nullptr;
    QPushButton *replayStopButton = nullptr;
    QComboBox *speedCombo = nullptr;
    QCheckBox *loopCheck = nullptr;
    QProgressBar *replayProgress = nullptr;
    QLabel *replayStatusLabel = nullptr;
    QPushButton *sendButton = nullptr;
    QProgressBar *sendProgress = nullptr;
    QLabel *sendStatusLabel = nullptr;
    Status recordStatus;
    Status replayStatus;
    Status sendStatus;
};
