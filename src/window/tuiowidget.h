#pragma once

#include "tuio/tuiorecords.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QWidget>

class CommunicationBase;
class LogViewWidget;
class TouchCanvas;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QUdpSocket;

// The tool's one window: settings column, touch canvas, objects tree and communication log.
class TuioWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TuioWidget(QWidget *parent = nullptr);
    ~TuioWidget() override;

    // Read-only views for tests and tools built on the window.
    bool isServerMode() const { return serverMode; }
    bool isRunning() const { return running; }
    int currentSimMode() const { return simMode; }
    CommunicationBase *communication() const { return comm; }
    TouchCanvas *touchCanvas() const { return canvas; }
    QUdpSocket *udpSocket() const { return socket; }
    const TuioObjectTable &receivedObjects() const { return tuioObjects; }
    const TuioCursorTable &receivedCursors() const { return tuioCursors; }
    QTimer *treeTimer() const { return treeRefreshTimer; }

private slots:
    void toggleMode(bool serverMode);
    void toggleConnection();
    void onReadyRead();
    void onObjectPlaced(int sid, int cid, float x, float y, float angle);
    void onObjectMoved(int sid, int cid, float x, float y, float angle);
    void onAnchorAdded(int sid, float x, float y);
    void onAnchorRemoved(int sid);
    void onMultiTouchMove(int activeSid, float x, float y);
    void setSimMode(int modeIdx);

private:
    void setupUI();
    QGroupBox *buildServerGroup();
    QGroupBox *buildClientGroup();
    QWidget *buildRightPanel();

    void updateStartButtons();
    void updateConnectionStatus();
    void refreshLiveTexts();
    void updateSimControls();
    void refreshObjectTree();
    void startConnection();
    void stopConnection();

    // TUIO traffic (defined in tuio/).
    void onCursorDown(int id, float x, float y);
    void onCursorMove(int id, float x, float y);
    void onCursorUp(int id);
    void sendCursorMessage(const QString &command, int sessionId, float x, float y);
    void sendCursorAlive(const QList<int> &sessionIds);
    void sendObjectMessage(const QString &command, int sessionId, int classId, float x, float y,
                           float angle);
    // Decodes into the tables and the canvas; returns the number of messages that framed.
    // The caller restarts the tree timer, once per drain.
    int processTuioMessage(const QByteArray &datagram);
    // Writes to the target fields' address; false (and reported once per run) on failure.
    bool sendDatagram(const QByteArray &datagram);
    // Received traffic repaints the canvas at most once per frame.
    void holdCanvasFrame();
    void releaseCanvasFrame();

    QScrollArea *settingsScroll = nullptr;
    CommunicationBase *comm = nullptr;
    LogViewWidget *logView = nullptr;
    QTabWidget *tabs = nullptr;
    TouchCanvas *canvas = nullptr;
    QTreeWidget *objectTree = nullptr;
    QRadioButton *serverRadio = nullptr;
    QRadioButton *clientRadio = nullptr;
    QGroupBox *serverGroup = nullptr;
    QGroupBox *clientGroup = nullptr;
    bool serverMode = true;
    QUdpSocket *socket = nullptr;
    QSpinBox *listenPortSpin = nullptr;
    QPushButton *serverStartButton = nullptr;
    QPushButton *clientStartButton = nullptr;
    bool running = false;
    QLineEdit *targetHostEdit = nullptr;
    QSpinBox *targetPortSpin = nullptr;
    QSpinBox *localPortSpin = nullptr;
    QComboBox *simModeCombo = nullptr;
    QSpinBox *classIdSpin = nullptr;
    QDoubleSpinBox *angleSpin = nullptr;
    QPushButton *clearAllButton = nullptr;
    QLabel *objectCountLabel = nullptr;
    QLabel *anchorCountLabel = nullptr;
    int simMode = 0;
    TuioObjectTable tuioObjects;
    TuioCursorTable tuioCursors;
    QCheckBox *timestampCheck = nullptr;
    QCheckBox *autoScrollCheck = nullptr;
    QSpinBox *lineSpacingSpin = nullptr;
    QSpinBox *fontSizeSpin = nullptr;
    QTimer *treeRefreshTimer = nullptr;
    QComboBox *languageCombo = nullptr;
    // True from a failed send until the next successful one.
    bool sendFailing = false;
    // The summary prefix of the last sender, so a steady stream is not formatted anew per
    // datagram.
    QHostAddress lastSenderAddress;
    quint16 lastSenderPort = 0;
    QString lastSenderPrefix;
    QByteArray receiveBuffer;
    QTimer *canvasFrameTimer = nullptr;
};
