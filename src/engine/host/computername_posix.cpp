#include "module1.h"

#include <unistd.h>

namespace Module1 {

QString ComputerNameText()
{
    char name[256] = {};
    if (::gethostname(name, 255) != 0)
        return QStringLiteral("(Not Known)");
    return computerNameFromBuffer(QByteArrayView(name, 255));
}

} // namespace Module1
