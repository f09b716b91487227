#pragma once

#include <QDateTime>
#include <QString>

// The reading behind a host's state, split as a program acting on it wants it: "4110rpm" is
// value "4110" and unit "rpm". Empty for a host silent or back to normal.
struct TroubleReading
{
    QString name;
    QString value;
    QString unit;
    QDateTime time; // when this computer last heard the host

    // A value as the table holds it, split where its number ends.
    static TroubleReading split(const QString &name, QStringView value, const QDateTime &time);

    friend bool operator==(const TroubleReading &, const TroubleReading &) = default;
};
