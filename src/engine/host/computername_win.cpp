#include "module1.h"

#include <qt_windows.h>

namespace Module1 {

QString ComputerNameText()
{
    char name[256] = {};
    DWORD size = 255;
    if (!GetComputerNameA(name, &size))
        return QStringLiteral("(Not Known)");
    return computerNameFromBuffer(QByteArrayView(name, 255));
}

} // namespace Module1
