#include "sysinfolauncher.h"

#include "engine/host/module1.h"
#include "getkeyvalue.h"
#include "programlauncher.h"

#include <utility>

SysInfoLauncher::SysInfoLauncher(Registry &registry, ProgramLauncher &launcher, FileTest fileExists)
    : m_registry(registry)
    , m_launcher(launcher)
    , m_fileExists(fileExists ? std::move(fileExists) : FileTest(&Module1::FileExists))
{
}

bool SysInfoLauncher::StartSysInfo()
{
    // Whatever goes wrong here ends in the same message to the user, so every failure,
    // an empty registry value among them, is turned into false.
    try {
        return findAndStart();
    } catch (...) {
        return false;
    }
}

QString SysInfoLauncher::localPath(const QString &path)
{
    return QString(path).replace(u'\\', u'/');
}

bool SysInfoLauncher::findAndStart()
{
    QString path;
    if (!GetKeyValue(m_registry, RegistryRoot::LocalMachine,
                     QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
        if (!GetKeyValue(m_registry, RegistryRoot::LocalMachine,
                         QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                         QStringLiteral("MSINFO"), path)) {
            return false;
        }
        const QString program = path + QStringLiteral("\\MSINFO32.EXE");
        if (!m_fileExists(localPath(program)))
            return false;
        path = program;
    }
    if (path.isEmpty())
        return false;
    return m_launcher.start(localPath(path));
}
