#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The one-line file that keeps the port between runs.
//
// It lives next to the program. Where that folder cannot be written (a system-wide
// install) the port is kept in the user's configuration folder instead, and a file
// there wins when reading: it only exists while it holds the latest confirmed port,
// because a later save next to the program removes it. Without an application directory
// only the user's file is used.
class SettingsFile final
{
public:
    static constexpr QLatin1StringView fileName{"Senvo-Net.ini"};

    struct LoadResult
    {
        enum class Status { NoFile, Empty, Read, Failed };
        Status status = Status::NoFile;
        QString item; // the first item of the file, when Read
        QString path; // the file read, or the one that failed
        QString error;
    };

    struct SaveResult
    {
        bool saved = false;
        QString path;  // where the port was written
        QString error; // why it could not be written anywhere, or a warning
    };

    // Data the program keeps (its history) goes into dataDirectory, the user's directory when
    // none is given, unless the settings live next to the program.
    SettingsFile(const QString &applicationDirectory, const QString &userDirectory,
                 const QString &dataDirectory = {});
    // Next to this program, with ~/.config/Senvo-Net (or the platform's equivalent) as fallback;
    // only the latter for a program installed in a system directory.
    static SettingsFile forThisApplication();
    // ~/.config/Senvo-Net, or the platform's equivalent.
    static QString userDirectory();
    // The directories that hold the programs of the whole system (/usr/bin and the like, or
    // a folder in one of Windows' programFolders): a file written there by root would be left
    // behind by the package manager, and an ordinary Windows user may not write there at all.
    static bool isSystemProgramDirectory(const QString &directory,
                                         const QStringList &programFolders = {});
    // Windows' Program Files folders, from the environment; none elsewhere.
    static QStringList windowsProgramFolders();

    // ~/.local/share/Senvo-Net, or the platform's equivalent (%LOCALAPPDATA%\Senvo-Net).
    static QString userDataDirectory();
    // Where the program keeps its data: next to Senvo-Net.json when that is next to the
    // program, else the data directory.
    QString dataDirectoryInUse() const;

    QString applicationPath() const; // empty without an application directory
    QString userPath() const;        // empty without a user directory

    LoadResult load() const;
    SaveResult save(const QString &port) const;

    // Other settings files (Senvo-Net.json) follow the same folder rules as this one, each
    // applied to the file of that name: the one read is the user's when it exists (or when
    // there is no application directory), else the one next to the program; empty when
    // there is neither directory.
    QString pathInUse(QLatin1StringView name) const;
    // Writes bytes whole or not at all to the file of that name, next to the program or else
    // in the user's folder, as save() does with the port.
    SaveResult write(QLatin1StringView name, const QByteArray &bytes) const;

    // The first item of a line: leading blanks skipped; a quoted item runs to its closing
    // quote, any other to the first comma or the end of the line.
    static QString firstItem(QStringView line);

private:
    SaveResult write(QLatin1StringView name, const QByteArray &bytes,
                     const char *staleUserFile) const;

    QString m_applicationDirectory;
    QString m_userDirectory;
    QString m_dataDirectory;
};
