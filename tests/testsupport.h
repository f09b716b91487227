#pragma once

#include <QFile>
#include <QHostAddress>
#include <QUdpSocket>

// A UDP port nobody listens on right now, for a test to bind.
inline quint16 freePort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0) ? probe.localPort() : 0;
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
