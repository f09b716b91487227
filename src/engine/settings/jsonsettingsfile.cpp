#include "jsonsettingsfile.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// Far more than any list of limits needs; a mistaken file (a log, an image) is not read whole.
constexpr qint64 maxBytesRead = 16 * 1024 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("JsonSettingsFile", text);
}

// The line and column of a byte offset into UTF-8 text, both from 1; a character of several
// bytes is one column.
QString position(const QByteArray &bytes, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, bytes.size());
    int line = 1;
    int column = 1;
    for (qsizetype i = 0; i < offset; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
    return tr("line %1, column %2").arg(line).arg(column);
}

} // namespace

JsonSettingsFile::JsonSettingsFile(const SettingsFile &folders)
    : m_folders(folders)
{
}

QString JsonSettingsFile::path() const
{
    return m_folders.pathInUse(fileName);
}

JsonSettingsFile::LoadResult JsonSettingsFile::load() const
{
    LoadResult result;
    result.path = path();
    if (result.path.isEmpty() || !QFileInfo::exists(result.path))
        return result;
    result.status = LoadResult::Status::Failed;
    const QFileInfo info(result.path);
    if (!info.isFile()) {
        result.error = tr("it is not a normal file");
        return result;
    }
    if (info.size() > maxBytesRead) {
        result.error = tr("it is larger than %1 MB").arg(maxBytesRead / (1024 * 1024));
        return result;
    }
    QFile file(result.path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = tr("it could not be read: %1").arg(file.errorString());
        return result;
    }
    LoadResult parsed = parse(file.read(maxBytesRead));
    parsed.path = result.path;
    return parsed;
}

SettingsFile::SaveResult JsonSettingsFile::save(const QJsonObject &object) const
{
    return m_folders.write(fileName, QJsonDocument(object).toJson(QJsonDocument::Indented));
}

JsonSettingsFile::LoadResult JsonSettingsFile::parse(const QByteArray &bytes)
{
    LoadResult result;
    // A file made empty by hand holds no settings yet, which is no mistake.
    if (bytes.trimmed().isEmpty()) {
        result.status = LoadResult::Status::Read;
        return result;
    }
    result.status = LoadResult::Status::Failed;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        result.error = tr("%1: %2").arg(position(bytes, error.offset), error.errorString());
        return result;
    }
    if (!document.isObject()) {
        result.error = tr("it does not hold a JSON object ({ ... })");
        return result;
    }
    result.status = LoadResult::Status::Read;
    result.object = document.object();
    return result;
}
