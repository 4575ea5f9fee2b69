#pragma once

#include <QUdpSocket>

// A UDP port nobody holds right now, for a window to listen on.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}
