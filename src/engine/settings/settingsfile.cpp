#include "settingsfile.h"

#include "engine/host/module1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A port needs a few characters; a huge or binary file must not be read whole.
constexpr qint64 maxBytesRead = 4096;

QString joined(const QString &directory, QLatin1StringView name)
{
    return directory.isEmpty() ? QString() : directory + u'/' + name;
}

QString describe(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString windowsClean(QString path)
{
    return QDir::cleanPath(path.replace(u'\\', u'/'));
}

SettingsFile::LoadResult readFile(const QString &path)
{
    using Status = SettingsFile::LoadResult::Status;
    SettingsFile::LoadResult result;
    result.path = path;
    if (!Module1::FileExists(path)) {
        if (QFileInfo::exists(path)) {
            result.status = Status::Failed;
            result.error = QCoreApplication::translate("SettingsFile", "%1 is not a normal file.")
                               .arg(describe(path));
        }
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = Status::Failed;
        result.error = QCoreApplication::translate("SettingsFile", "%1 could not be read: %2.")
                           .arg(describe(path), file.errorString());
        return result;
    }
    const QByteArray bytes = file.read(maxBytesRead);
    if (bytes.isEmpty()) {
        result.status = Status::Empty;
        return result;
    }
    result.status = Status::Read;
    result.item = SettingsFile::firstItem(QString::fromLocal8Bit(bytes));
    return result;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        // commit() alone overlooks a buffer that could not be written whole (a full disk, a
        // size limit) and would put the cut file in place of the old one.
        if (file.write(bytes) == bytes.size() && file.flush() && file.commit())
            return {};
    }
    return QCoreApplication::translate("SettingsFile", "%1 could not be written: %2.")
        .arg(describe(path), file.errorString());
}

} // namespace

SettingsFile::SettingsFile(const QString &applicationDirectory, const QString &userDirectory,
                           const QString &dataDirectory)
    : m_applicationDirectory(applicationDirectory)
    , m_userDirectory(userDirectory)
    , m_dataDirectory(dataDirectory.isEmpty() ? userDirectory : dataDirectory)
{
}

SettingsFile SettingsFile::forThisApplication()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {isSystemProgramDirectory(program, windowsProgramFolders()) ? QString() : program,
            userDirectory(), userDataDirectory()};
}

QString SettingsFile::userDataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Senvo-Net"_qs;
}

QString SettingsFile::dataDirectoryInUse() const
{
    const QString json = pathInUse(QLatin1StringView("Senvo-Net.json"));
    if (!m_applicationDirectory.isEmpty()
        && json == joined(m_applicationDirectory, QLatin1StringView("Senvo-Net.json")))
        return m_applicationDirectory;
    return m_dataDirectory;
}

QString SettingsFile::userDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + u"/Senvo-Net"_qs;
}

QStringList SettingsFile::windowsProgramFolders()
{
    QStringList folders;
    for (const char *name : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
        const QString folder = qEnvironmentVariable(name);
        if (!folder.isEmpty())
            folders.append(folder);
    }
    return folders;
}

bool SettingsFile::isSystemProgramDirectory(const QString &directory,
                                            const QStringList &programFolders)
{
    static constexpr QStringView systemDirectories[] = {
        u"/usr/bin",   u"/usr/sbin", u"/usr/local/bin", u"/usr/local/sbin",
        u"/usr/games", u"/bin",      u"/sbin",          u"/usr/local/games",
    };
    if (directory.isEmpty())
        return false;
    // Windows paths ignore case and take either slash; a program folder's own subfolders
    // (Program Files\Senvo-Net) are the installed ones.
    const QString windowsPath = windowsClean(directory);
    for (const QString &folder : programFolders) {
        const QString program = windowsClean(folder);
        if (!program.isEmpty()
            && (windowsPath.compare(program, Qt::CaseInsensitive) == 0
                || windowsPath.startsWith(program + u'/', Qt::CaseInsensitive)))
            return true;
    }
    if (QDir::isRelativePath(directory))
        return false;
    // /bin may be a link to /usr/bin, and a program started through a link sees either.
    const QString clean = QDir::cleanPath(directory);
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    for (const QStringView system : systemDirectories) {
        if (clean == system || (!canonical.isEmpty() && canonical == system))
            return true;
    }
    return false;
}

QString SettingsFile::applicationPath() const
{
    return joined(m_applicationDirectory, fileName);
}

QString SettingsFile::userPath() const
{
    return joined(m_userDirectory, fileName);
}

QString SettingsFile::pathInUse(QLatin1StringView name) const
{
    const QString user = joined(m_userDirectory, name);
    if (!user.isEmpty() && (m_applicationDirectory.isEmpty() || QFileInfo::exists(user)))
        return user;
    return joined(m_applicationDirectory, name);
}

SettingsFile::LoadResult SettingsFile::load() const
{
    const QString path = pathInUse(fileName);
    return path.isEmpty() ? LoadResult() : readFile(path);
}

SettingsFile::SaveResult SettingsFile::save(const QString &port) const
{
    return write(fileName, port.toLocal8Bit() + "\r\n",
                 QT_TRANSLATE_NOOP("SettingsFile", "The port was saved to %1, but %2 could not "
                                                   "be removed and will be read instead next "
                                                   "time."));
}

SettingsFile::SaveResult SettingsFile::write(QLatin1StringView name, const QByteArray &bytes) const
{
    return write(name, bytes,
                 QT_TRANSLATE_NOOP("SettingsFile", "%1 was saved, but %2 could not be removed "
                                                   "and will be read instead next time."));
}

SettingsFile::SaveResult SettingsFile::write(QLatin1StringView name, const QByteArray &bytes,
                                             const char *staleUserFile) const
{
    const QString applicationFile = joined(m_applicationDirectory, name);
    const QString userFile = joined(m_userDirectory, name);
    SaveResult result;
    const QString besideProgram =
        m_applicationDirectory.isEmpty() ? QString() : writeFile(applicationFile, bytes);
    if (!m_applicationDirectory.isEmpty() && besideProgram.isEmpty()) {
        result.saved = true;
        result.path = applicationFile;
        // A file left in the user's folder would hide the one just saved.
        if (!m_userDirectory.isEmpty() && QFileInfo::exists(userFile) && !QFile::remove(userFile)) {
            result.saved = false;
            result.error = QCoreApplication::translate("SettingsFile", staleUserFile)
                               .arg(describe(applicationFile), describe(userFile));
        }
        return result;
    }
    if (m_userDirectory.isEmpty()) {
        result.error = besideProgram;
        return result;
    }
    QString inUserFolder;
    if (!QDir().mkpath(m_userDirectory)) {
        inUserFolder = QCoreApplication::translate("SettingsFile", "%1 could not be created.")
                           .arg(describe(m_userDirectory));
    } else {
        inUserFolder = writeFile(userFile, bytes);
    }
    if (!inUserFolder.isEmpty()) {
        result.error =
            besideProgram.isEmpty() ? inUserFolder : besideProgram + u'\n' + inUserFolder;
        return result;
    }
    result.saved = true;
    result.path = userFile;
    return result;
}

QString SettingsFile::firstItem(QStringView line)
{
    const qsizetype end = line.indexOf(u'\n');
    if (end >= 0)
        line = line.first(end);
    if (line.endsWith(u'\r'))
        line.chop(1);
    while (line.startsWith(u' ') || line.startsWith(u'\t'))
        line = line.sliced(1);
    if (line.startsWith(u'"')) {
        line = line.sliced(1);
        const qsizetype quote = line.indexOf(u'"');
        return (quote >= 0 ? line.first(quote) : line).toString();
    }
    const qsizetype comma = line.indexOf(u',');
    return (comma >= 0 ? line.first(comma) : line).toString();
}
