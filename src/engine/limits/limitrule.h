#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// One entry of the "limits" list of Senvo-Net.json: which reading (and, optionally, which
// hosts) it is about, and the bounds and words that put a value of that reading in a
// warning or critical state. Every key but "reading" may be left out; a key left out is
// taken from the next rule that applies (see LimitRules), and the defaults last.
//
// The limits that apply to one reading of one host are a LimitRule too, merged key by key.
struct LimitRule
{
    // A number, with the unit it applies to, as written in the file ("20%", 95, "3.2G").
    struct Bound
    {
        double value = 0;
        QString unit;    // empty: any number, whatever its unit
        QString text;    // as written, for descriptions and for writing back
        bool ok = false; // false when text does not start with a number

        // From the file: a JSON number, or a string read as a value is.
        static Bound fromJson(const QJsonValue &json);
        static Bound fromText(const QString &text);
        // A plain number as a JSON number, anything else as the text written.
        QJsonValue toJson() const;
        // Ignoring case, as units are written either way ("C" and "c", "kB/s" and "KB/s").
        bool appliesTo(QStringView valueUnit) const
        {
            return unit.isEmpty() || valueUnit.compare(unit, Qt::CaseInsensitive) == 0;
        }
    };

    static constexpr int defaultAfter = 1;
    static constexpr int maxAfter = 1000;
    static constexpr double defaultMarginShare = 0.05;

    QString reading;   // the name as the table shows it, without surrounding spaces
    QStringList hosts; // patterns with * and ?, ignoring case; empty: every host
    std::optional<Bound> warningAbove;
    std::optional<Bound> criticalAbove;
    std::optional<Bound> warningBelow;
    std::optional<Bound> criticalBelow;
    std::optional<QStringList> warningText; // trimmed
    std::optional<QStringList> criticalText;
    std::optional<int> after;     // readings in a row beyond a bound before the state shows
    std::optional<double> margin; // how far back inside a bound a value must come to clear
    QJsonObject otherKeys;        // keys this program does not know, kept for writing back

    // One entry of the list, numbered from 1 in the messages added to errors; a rule with an
    // error is returned with what could be read.
    static LimitRule fromJson(const QJsonValue &json, int number, QStringList &errors);
    QJsonObject toJson() const;

    // Takes every key this rule leaves out from another (not reading, hosts or other keys).
    void fillFrom(const LimitRule &other);

    int afterOrDefault() const { return after.value_or(defaultAfter); }
    double marginFor(const Bound &bound) const;
};
