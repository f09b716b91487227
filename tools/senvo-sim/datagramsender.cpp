#include "datagramsender.h"

#include "qtdatagramsender.h"

#ifdef Q_OS_LINUX
#include "linuxdatagramsender.h"
#endif

std::unique_ptr<DatagramSender> DatagramSender::create()
{
#ifdef Q_OS_LINUX
    return std::make_unique<LinuxDatagramSender>();
#else
    return createPortable();
#endif
}

std::unique_ptr<DatagramSender> DatagramSender::createPortable()
{
    return std::make_unique<QtDatagramSender>();
}
