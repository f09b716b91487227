#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

// Where and for how long the readings are remembered, as Senvo-Net.json keeps it: the
// "history" object, {"file": "…", "minuteDays": 7, "hourDays": 400, "maxSize": "2G",
// "restoreHosts": true}. Every key may be left out for its default.
class ArchiveSettings final
{
    Q_DECLARE_TR_FUNCTIONS(ArchiveSettings)

public:
    static constexpr QLatin1StringView key{"history"};
    static constexpr QLatin1StringView fileName{"Senvo-Net.sqlite"};
    static constexpr int defaultMinuteDays = 7;
    static constexpr int defaultHourDays = 400;
    static constexpr int eventDays = 400;
    static constexpr qint64 defaultMaxBytes = qint64(2) << 30;

    ArchiveSettings() = default;

    // root is the whole of Senvo-Net.json, read from jsonFolder; defaultFolder holds the file
    // unless "file" names another (a relative one is read beside Senvo-Net.json). What cannot
    // be used is named in errors(), and its default taken.
    static ArchiveSettings fromObject(const QJsonObject &root, const QString &jsonFolder,
                                      const QString &defaultFolder);

    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    int minuteDays() const { return m_minuteDays; }
    int hourDays() const { return m_hourDays; }
    qint64 maxBytes() const { return m_maxBytes; }
    bool restoreHosts() const { return m_restoreHosts; }
    const QStringList &errors() const { return m_errors; }

    // "2G", "500M", "1.5T", "800000K", or a count of bytes; -1 for a text that is none of
    // these.
    static qint64 parseSize(QStringView text);

private:
    QString m_filePath;
    int m_minuteDays = defaultMinuteDays;
    int m_hourDays = defaultHourDays;
    qint64 m_maxBytes = defaultMaxBytes;
    bool m_restoreHosts = true;
    QStringList m_errors;
};
