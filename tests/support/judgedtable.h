#pragma once

#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "fakereceiveclock.h"

#include <QByteArrayView>
#include <QJsonDocument>
#include <QStringList>

inline constexpr QByteArrayView fleet =
    R"({"limits": [
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95},
        {"reading": "CPU", "hosts": "db*", "criticalAbove": 99},
        {"reading": "Temp", "criticalAbove": 85, "criticalBelow": 5},
        {"reading": "Free", "warningBelow": "20%", "criticalBelow": "10%", "after": 2},
        {"reading": "Service", "criticalText": ["down"]}]})";

inline LimitRules rulesOf(QByteArrayView json)
{
    return LimitRules(QJsonDocument::fromJson(json.toByteArray()).object());
}

// A table judged by a watch, with a clock that moves only when told.
struct Judged
{
    FakeReceiveClock clock;
    ReadingsTable table{nullptr, ReadingsTable::defaultHostLimit, &clock};
    LimitWatch watch{table};

    explicit Judged(QByteArrayView rules = fleet) { watch.setRules(rulesOf(rules)); }

    // "host|name|value; host|name|value ...", then published.
    void post(const QString &readings)
    {
        table.beginBatch();
        for (const QString &line : readings.split(u"; "_qs)) {
            const QStringList f = line.split(u'|');
            table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
        }
        table.publish();
    }

    // "a:critical b:normal", in row order.
    QString levels() const
    {
        static const char *const names[] = {"normal", "warning", "critical", "no state"};
        QStringList found;
        for (int row = 0; row < table.hostCount(); ++row) {
            found << table.host(row) + u':' + QLatin1StringView(names[int(watch.hostLevel(row))]);
        }
        return found.join(u' ');
    }

    QString counts() const
    {
        return u"%1 %2"_qs.arg(watch.criticalHosts()).arg(watch.warningHosts());
    }
};
