// Temporary: the TUIO sending and receiving members are being written.
#include "window/tuiowidget.h"

void TuioWidget::onReadyRead() {}
void TuioWidget::onObjectPlaced(int, int, float, float, float) {}
void TuioWidget::onObjectMoved(int, int, float, float, float) {}
void TuioWidget::onAnchorAdded(int, float, float) {}
void TuioWidget::onAnchorRemoved(int) {}
void TuioWidget::onMultiTouchMove(int, float, float) {}
void TuioWidget::onCursorDown(int, float, float) {}
void TuioWidget::onCursorMove(int, float, float) {}
void TuioWidget::onCursorUp(int) {}
void TuioWidget::sendCursorMessage(const QString &, int, float, float) {}
void TuioWidget::sendCursorAlive(const QList<int> &) {}
void TuioWidget::sendObjectMessage(const QString &, int, int, float, float, float) {}
void TuioWidget::processTuioMessage(const QByteArray &) {}
