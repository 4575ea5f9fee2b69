#pragma once

#include <QWidget>

class QPushButton;
class QTableWidget;
class QTreeWidget;
class TuioFrameAnalysis;

// The "帧分析" tab: one row per source of the received stream, and under it the protocol checks
// with their hits per source. It shows what the analysis reports and changes nothing else.
class FrameAnalysisView : public QWidget
{
    Q_OBJECT

public:
    // `analysis` is not owned and must outlive the view.
    explicit FrameAnalysisView(TuioFrameAnalysis *analysis, QWidget *parent = nullptr);

private slots:
    void refresh();

private:
    void setHeaders();

    TuioFrameAnalysis *analysis = nullptr;
    QTableWidget *sourceTable = nullptr;
    QTreeWidget *checkTree = nullptr;
    QPushButton *clearButton = nullptr;
};
