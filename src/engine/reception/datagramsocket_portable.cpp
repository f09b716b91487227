#include "datagramsocket.h"

#include "qtdatagramsocket.h"

DatagramSocket *DatagramSocket::create(QObject *parent)
{
    return new QtDatagramSocket(parent);
}
