#pragma once

#include <QByteArray>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

// An answer to a scrape taken apart as Prometheus would, and checked against the rules both
// formats share: each family in one group, its HELP and TYPE before its samples, no sample
// twice; in OpenMetrics, counters' samples named with "_total" and "# EOF" last.
struct MetricsCheck
{
    QStringList faults;
    // "host|reading", or "host" where there is no reading, for the samples of each family,
    // their labels' escapes undone.
    QMap<QByteArray, QStringList> keys;

    MetricsCheck(const QByteArray &answer, bool openMetrics)
    {
        QList<QByteArray> lines = answer.split('\n');
        if (lines.takeLast() != "" || (openMetrics && lines.takeLast() != "# EOF")
            || (!openMetrics && answer.contains("# EOF")))
            faults << u"the wrong end"_qs;
        // A name, then perhaps labels, the host first and the reading next where there is
        // one, and a value.
        static const QRegularExpression sample(
            uR"re(^([a-z_]+)(?:\{host="((?:[^"\\]|\\.)*)"(?:,reading="((?:[^"\\]|\\.)*)")?.*\})? (\S+)$)re"_qs,
            QRegularExpression::DotMatchesEverythingOption);
        QByteArray family;
        QByteArray type;
        QSet<QByteArray> described;
        QSet<QByteArray> seen;
        for (const QByteArray &line : std::as_const(lines)) {
            const QString text = QString::fromUtf8(line);
            if (line.startsWith("# ")) {
                const QList<QByteArray> words = line.split(' ');
                if (words.value(2) != family) {
                    if (keys.contains(words.value(2)))
                        faults << u"a family in two groups: "_qs + text;
                    family = words.value(2);
                    keys[family];
                    described.clear();
                }
                described << words.value(1);
                if (words.value(1) == "TYPE")
                    type = words.value(3);
                continue;
            }
            const QRegularExpressionMatch match = sample.match(text);
            const QString expected =
                QString::fromUtf8(family)
                + (openMetrics && type == "counter" ? u"_total"_qs : QString());
            bool number = false;
            match.captured(4).toDouble(&number);
            if (!match.hasMatch() || match.captured(1) != expected || described.size() < 2
                || !number)
                faults << u"a sample out of place: "_qs + text;
            if (seen.contains(line.first(line.lastIndexOf(' '))))
                faults << u"a sample twice: "_qs + text;
            seen << line.first(line.lastIndexOf(' '));
            QString key = unescaped(match.captured(2));
            if (match.capturedLength(3) > 0)
                key += u'|' + unescaped(match.captured(3));
            keys[family] << key;
        }
    }

    static QString unescaped(const QString &value)
    {
        QString text;
        bool escaped = false;
        for (const QChar c : value) {
            if (escaped)
                text += c == u'n' ? QChar(u'\n') : c;
            else if (c != u'\\')
                text += c;
            escaped = !escaped && c == u'\\';
        }
        return text;
    }
};
