#include "archivesettings.h"

#include <QDir>
#include <QJsonValue>

#include <cmath>

qint64 ArchiveSettings::parseSize(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return -1;
    double unit = 1;
    switch (text.back().toUpper().unicode()) {
    case 'K':
        unit = 1024.0;
        break;
    case 'M':
        unit = 1024.0 * 1024;
        break;
    case 'G':
        unit = 1024.0 * 1024 * 1024;
        break;
    case 'T':
        unit = 1024.0 * 1024 * 1024 * 1024;
        break;
    default:
        break;
    }
    if (unit > 1)
        text.chop(1);
    bool ok = false;
    const double count = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(count) || count < 0 || count * unit > 9e18)
        return -1;
    return qint64(count * unit);
}

ArchiveSettings ArchiveSettings::fromObject(const QJsonObject &root, const QString &jsonFolder,
                                            const QString &defaultFolder)
{
    ArchiveSettings settings;
    settings.m_filePath = QDir(defaultFolder).filePath(fileName);
    const QJsonValue value = root.value(key);
    if (value.isUndefined())
        return settings;
    if (!value.isObject()) {
        settings.m_errors << tr("\"history\" is not an object; its defaults are used.");
        return settings;
    }
    const QJsonObject object = value.toObject();
    if (const QJsonValue file = object.value(QLatin1String("file")); !file.isUndefined()) {
        if (file.isString() && !file.toString().trimmed().isEmpty())
            settings.m_filePath = QDir(jsonFolder).absoluteFilePath(file.toString().trimmed());
        else
            settings.m_errors << tr("\"history\": \"file\" is not a file name.");
    }
    const auto days = [&](const char *name, int &target) {
        const QJsonValue days = object.value(QLatin1String(name));
        if (days.isUndefined())
            return;
        const double count = days.toDouble(-1);
        if (days.isDouble() && count >= 0 && count <= 100'000 && count == std::floor(count))
            target = int(count);
        else
            settings.m_errors
                << tr("\"history\": \"%1\" is not a number of days.").arg(QLatin1String(name));
    };
    days("minuteDays", settings.m_minuteDays);
    days("hourDays", settings.m_hourDays);
    if (const QJsonValue size = object.value(QLatin1String("maxSize")); !size.isUndefined()) {
        const qint64 bytes =
            size.isDouble() ? qint64(size.toDouble(-1)) : parseSize(size.toString());
        if (bytes > 0)
            settings.m_maxBytes = bytes;
        else
            settings.m_errors << tr("\"history\": \"maxSize\" is not a size such as \"2G\".");
    }
    if (const QJsonValue restore = object.value(QLatin1String("restoreHosts"));
        !restore.isUndefined()) {
        if (restore.isBool())
            settings.m_restoreHosts = restore.toBool();
        else
            settings.m_errors << tr("\"history\": \"restoreHosts\" is not true or false.");
    }
    return settings;
}
