#include "datagramsocket.h"

#include <QCoreApplication>
#include <QDir>

void DatagramSocket::setFailure(Failure failure, quint16 port, const QString &detail)
{
    m_failure = failure;
    switch (failure) {
    case Failure::None:
        m_errorString.clear();
        break;
    case Failure::InUse:
        m_errorString = tr("UDP port %1 is already in use by another program, so readings sent "
                           "to it cannot be received here. Close that program or use another port.")
                            .arg(port);
        break;
    case Failure::Privileged:
        m_errorString = tr("UDP port %1 is below 1024, and only a privileged program may listen "
                           "there. Use a port of 1024 or more (and send the readings to it), or "
                           "allow this program to use low ports with:\n"
                           "sudo setcap cap_net_bind_service=+ep '%2'")
                            .arg(port)
                            .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
        break;
    case Failure::NoSuchAddress:
        m_errorString = tr("UDP port %1 cannot be opened on %2: this computer has no such "
                           "address. Listen on every address, or on one of this computer's own.")
                            .arg(port)
                            .arg(detail);
        break;
    case Failure::Other:
        m_errorString = tr("UDP port %1 could not be opened: %2.").arg(port).arg(detail);
        break;
    }
}
