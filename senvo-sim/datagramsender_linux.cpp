#include "datagramsender.h"

#include "linuxdatagramsender.h"

std::unique_ptr<DatagramSender> DatagramSender::create()
{
    return std::make_unique<LinuxDatagramSender>();
}
