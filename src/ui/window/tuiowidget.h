#pragma once

#include "canvas/simtypes.h"
#include "tuio/tuioprofiles.h"

#include <QList>
#include <QWidget>

#include <array>

class CapturePanel;
class CaptureRecorder;
class CaptureReplayer;
class CommunicationBase;
class DatagramSender;
class FrameAnalysisView;
class LogViewWidget;
class TouchCanvas;
class TuioFrameAnalysis;
class TuioReceiver;
class TuioSender;
class TuioSessions;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
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
class QTreeWidgetItem;

// The tool's one window: it composes the receiver, the sender, the session tables, the canvas
// and the log, and holds the mode, start/stop and status logic.
class TuioWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TuioWidget(QWidget *parent = nullptr);
    ~TuioWidget() override;

    // Read-only views for tests and tools built on the window.
    bool isServerMode() const { return serverMode; }
    bool isRunning() const { return running; }
    SimMode currentSimMode() const { return simMode; }
    CommunicationBase *communication() const { return comm; }
    TouchCanvas *touchCanvas() const { return canvas; }
    TuioReceiver *receiver() const { return tuioReceiver; }
    TuioSender *clientSender() const { return tuioSender; }
    TuioSessions *sessions() const { return tuioSessions; }
    TuioFrameAnalysis *frameAnalysis() const { return tuioFrameAnalysis; }
    QTimer *treeTimer() const { return treeRefreshTimer; }

protected:
    bool event(QEvent *event) override;

private slots:
    void toggleMode(bool serverMode);
    void toggleConnection();
    void onCursorDown(int id, float x, float y);
    void onCursorMove(int id, float x, float y);
    void onCursorUp(int id);
    void onObjectPlaced(int sid, int cid, float x, float y, float angle);
    void onObjectMoved(int sid, int cid, float x, float y, float angle);
    void onAnchorAdded(int sid, float x, float y);
    void onAnchorRemoved(int sid);
    void onMultiTouchMove(int activeSid, float x, float y);
    void setSimMode(int modeIdx);
    void refreshObjectTree();

private:
    void setupUI();
    QFrame *buildHeader();
    QScrollArea *buildSettingsColumn();
    QGroupBox *buildModeGroup();
    QGroupBox *buildServerGroup();
    QGroupBox *buildClientGroup();
    QWidget *buildObjectConfig();
    QGroupBox *buildDisplayGroup();
    QWidget *buildRightPanel();
    void connectCanvas();
    void connectReceivedTraffic();
    void connectCapture();

    void updateStartButtons();
    void showStartButton(QPushButton *button, bool live);
    void updateConnectionStatus();
    void refreshLiveTexts();
    void updateSimControls();
    void updateObjectCount();
    void updateAnchorCount();
    void startConnection();
    void stopConnection();
    void clearReceived();
    QList<int> anchorIds() const;
    QList<int> objectIds() const;
    // True while started in client mode with TUIO 1.1 frames.
    bool sendsFrames() const;
    // Hands the sender the sessions the canvas shows as live in this simulation mode.
    void sendLiveSessions();
    // Received traffic repaints the canvas at most once per frame.
    void holdCanvasFrame();
    void releaseCanvasFrame();

    CommunicationBase *comm = nullptr;
    TuioReceiver *tuioReceiver = nullptr;
    TuioSender *tuioSender = nullptr;
    TuioSessions *tuioSessions = nullptr;
    TuioFrameAnalysis *tuioFrameAnalysis = nullptr;
    CaptureRecorder *captureRecorder = nullptr;
    CaptureReplayer *captureReplayer = nullptr;
    CaptureReplayer *sendReplayer = nullptr;
    DatagramSender *datagramSender = nullptr;
    CapturePanel *capturePanel = nullptr;
    QScrollArea *settingsScroll = nullptr;
    LogViewWidget *logView = nullptr;
    FrameAnalysisView *frameView = nullptr;
    QTabWidget *tabs = nullptr;
    TouchCanvas *canvas = nullptr;
    QTreeWidget *objectTree = nullptr;
    // The groups of the other profiles, present while their tables have sessions.
    std::array<QTreeWidgetItem *, tuioItemProfileCount> itemGroups{};
    QLabel *statusLabel = nullptr;
    QPushButton *docButton = nullptr;
    QRadioButton *serverRadio = nullptr;
    QRadioButton *clientRadio = nullptr;
    QGroupBox *serverGroup = nullptr;
    QGroupBox *clientGroup = nullptr;
    bool serverMode = true;
    QSpinBox *listenPortSpin = nullptr;
    QPushButton *serverStartButton = nullptr;
    QPushButton *clientStartButton = nullptr;
    bool running = false;
    QLineEdit *targetHostEdit = nullptr;
    QSpinBox *targetPortSpin = nullptr;
    QSpinBox *localPortSpin = nullptr;
    QComboBox *simModeCombo = nullptr;
    QComboBox *framingCombo = nullptr;
    QWidget *objectConfig = nullptr;
    QSpinBox *classIdSpin = nullptr;
    QDoubleSpinBox *angleSpin = nullptr;
    QPushButton *clearAllButton = nullptr;
    QLabel *objectCountLabel = nullptr;
    QLabel *anchorCountLabel = nullptr;
    SimMode simMode = CursorMode;
    QCheckBox *timestampCheck = nullptr;
    QCheckBox *autoScrollCheck = nullptr;
    QSpinBox *lineSpacingSpin = nullptr;
    QSpinBox *fontSizeSpin = nullptr;
    QTimer *treeRefreshTimer = nullptr;
    QTimer *canvasFrameTimer = nullptr;
    QComboBox *languageCombo = nullptr;
};
