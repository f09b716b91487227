#include "module1.h"

#include <QDir>
#include <QFileInfo>

namespace Module1 {

QString computerNameFromBuffer(QByteArrayView buffer)
{
    if (const qsizetype nul = buffer.indexOf('\0'); nul >= 0)
        buffer = buffer.first(nul);
    while (buffer.endsWith(' '))
        buffer.chop(1);
    if (buffer.isEmpty())
        return QStringLiteral("(Not Known)");
    return QString::fromLocal8Bit(buffer);
}

bool FileExists(const QString &path)
{
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    if (fileName.isEmpty())
        return false;
    constexpr QDir::Filters normalFiles = QDir::Files | QDir::NoDotAndDotDot;
#ifdef Q_OS_UNIX
    const bool wildcard =
        fileName.contains(u'*') || fileName.contains(u'?') || fileName.contains(u'[');
#else
    const bool wildcard = fileName.contains(u'*') || fileName.contains(u'?');
#endif
    if (wildcard) {
        // QDir leaves hidden and system entries out unless asked for them.
        return !QDir(info.path()).entryList({fileName}, normalFiles).isEmpty();
    }
    return info.isFile() && !info.isHidden();
}

} // namespace Module1
