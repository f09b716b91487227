#include "datagramsender.h"

std::unique_ptr<DatagramSender> DatagramSender::create()
{
    return createPortable();
}
