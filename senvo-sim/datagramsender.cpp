#include "datagramsender.h"

#include "qtdatagramsender.h"

std::unique_ptr<DatagramSender> DatagramSender::createPortable()
{
    return std::make_unique<QtDatagramSender>();
}
