#include "datagramsocket.h"

#include "linuxdatagramsocket.h"

DatagramSocket *DatagramSocket::create(QObject *parent)
{
    return new LinuxDatagramSocket(parent);
}
