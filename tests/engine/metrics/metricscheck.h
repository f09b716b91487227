#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

// An answer to a scrape, taken apart line by line as Prometheus would and checked against the
// rules both formats share: every family once, in one group, its HELP and TYPE before its
// samples, no two samples alike; and in OpenMetrics, counters' samples named with "_total"
// and "# EOF" last.
struct MetricsCheck
{
    struct Sample
    {
        QByteArray name;
        QByteArray labels; // between the braces, as written
        QByteArray value;
    };

    QStringList faults;
    QList<QByteArray> families;              // in order
    QMap<QByteArray, QList<Sample>> samples; // by family

    MetricsCheck(const QByteArray &answer, bool openMetrics)
    {
        if (!answer.endsWith('\n'))
            faults << QStringLiteral("the answer does not end its last line");
        QList<QByteArray> lines = answer.split('\n');
        lines.removeLast();
        if (openMetrics && (lines.isEmpty() || lines.last() != "# EOF"))
            faults << QStringLiteral("no # EOF at the end");
        if (openMetrics && !lines.isEmpty())
            lines.removeLast();
        QByteArray family;
        QByteArray type;
        QSet<QByteArray> described; // HELP and TYPE seen for the family under way
        QSet<QByteArray> series;
        for (const QByteArray &line : std::as_const(lines)) {
            if (line.startsWith("# ")) {
                const QList<QByteArray> words = line.split(' ');
                if (words.size() < 4) {
                    faults << u"a short comment: "_qs + QString::fromUtf8(line);
                    continue;
                }
                if (words[2] != family) {
                    if (families.contains(words[2]))
                        faults << u"family in two groups: "_qs + QString::fromUtf8(words[2]);
                    family = words[2];
                    families << family;
                    described.clear();
                    type.clear();
                }
                described << words[1];
                if (words[1] == "TYPE")
                    type = words[3];
                continue;
            }
            Sample sample;
            const qsizetype brace = line.indexOf('{');
            const qsizetype space = line.lastIndexOf(' ');
            sample.name = line.first(brace >= 0 ? brace : space);
            sample.labels = brace >= 0 ? line.sliced(brace + 1, space - brace - 2) : QByteArray();
            sample.value = line.sliced(space + 1);
            QByteArray expectedName = family;
            if (openMetrics && type == "counter")
                expectedName += "_total";
            if (sample.name != expectedName || !described.contains("HELP")
                || !described.contains("TYPE"))
                faults << u"a sample outside its family: "_qs + QString::fromUtf8(line);
            if (series.contains(sample.name + '{' + sample.labels))
                faults << u"a sample twice: "_qs + QString::fromUtf8(line);
            series << sample.name + '{' + sample.labels;
            bool number = false;
            sample.value.toDouble(&number);
            if (!number && sample.value != "NaN" && sample.value != "+Inf"
                && sample.value != "-Inf")
                faults << u"not a number: "_qs + QString::fromUtf8(line);
            samples[family] << sample;
        }
    }

    // "host|reading" for each sample of the family, or "host" where it has no reading label.
    QStringList keysOf(const QByteArray &family) const
    {
        QStringList keys;
        for (const Sample &sample : samples.value(family)) {
            QString key = label(sample.labels, "host");
            if (sample.labels.contains("reading=\""))
                key += u'|' + label(sample.labels, "reading");
            keys << key;
        }
        return keys;
    }

    // A label's value with its escapes undone; labels are written host first, so a quote
    // ahead of the name is never inside an earlier value here.
    static QString label(const QByteArray &labels, const QByteArray &name)
    {
        const qsizetype start = labels.indexOf(name + "=\"");
        if (start < 0)
            return {};
        QByteArray value;
        for (qsizetype i = start + name.size() + 2; i < labels.size() && labels[i] != '"'; ++i) {
            if (labels[i] == '\\' && i + 1 < labels.size()) {
                ++i;
                value += labels[i] == 'n' ? '\n' : labels[i];
            } else {
                value += labels[i];
            }
        }
        return QString::fromUtf8(value);
    }
};
