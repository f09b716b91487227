#include "detachedprogramlauncher.h"

#include <QProcess>

bool DetachedProgramLauncher::start(const QString &program)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, {});
}
