#pragma once

#include <QString>

#include <functional>

class ProgramLauncher;
class Registry;

// Finds the System Information program through the registry and starts it.
class SysInfoLauncher final
{
public:
    using FileTest = std::function<bool(const QString &path)>;

    // fileExists defaults to Module1::FileExists.
    SysInfoLauncher(Registry &registry, ProgramLauncher &launcher, FileTest fileExists = {});
    Q_DISABLE_COPY_MOVE(SysInfoLauncher)

    // Starts the program and returns true; returns false when the caller should tell the
    // user that System Information is unavailable. Nothing thrown on the way escapes.
    bool StartSysInfo();

    // The path with its Windows separators turned to '/', which Qt reads on every system
    // and turns back on Windows.
    static QString localPath(const QString &path);

private:
    bool findAndStart();

    Registry &m_registry;
    ProgramLauncher &m_launcher;
    FileTest m_fileExists;
};
