#include "engine/metrics/metricsexposition.h"
#include "judgedtable.h"
#include "metricscheck.h"

#include <QRegularExpression>
#include <QTest>

using Format = MetricsExposition::Format;

Q_DECLARE_METATYPE(MetricsExposition::Format)

namespace {

QByteArray scrape(const ReadingsTable &table, Format format, qsizetype piece = 1 << 24)
{
    MetricsExposition exposition(table, {12, 3400, 2}, format);
    QByteArray answer;
    while (exposition.writeNext(answer, piece)) {
    }
    return answer;
}

// "host|name|value; ...", where "+N" moves the clock on N seconds and ticks.
void post(Judged &judged, const QString &readings)
{
    for (const QString &step : readings.split(u"; "_qs, Qt::SkipEmptyParts)) {
        if (step.startsWith(u'+')) {
            judged.clock.seconds += step.sliced(1).toDouble();
            judged.table.tick();
        } else {
            judged.post(step);
        }
    }
}

QString host(int number)
{
    return u"h%1"_qs.arg(number, 2, 10, QChar(u'0'));
}

} // namespace

// The table as Prometheus scrapes it, whole and in pieces.
class TestMetricsExposition final : public QObject
{
    Q_OBJECT

private slots:
    void answer_data();
    void answer();
    void negotiated_data();
    void negotiated();
    void piecesMakeTheSameAnswer_data();
    void piecesMakeTheSameAnswer();
    void rowsRemovedBetweenPieces_data();
    void rowsRemovedBetweenPieces();
};

void TestMetricsExposition::answer_data()
{
    QTest::addColumn<QString>("readings");
    QTest::addColumn<Format>("format");
    // Lines; {tN} is N seconds after the clock started, in seconds since 1970.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent"); // beginnings of lines

    const auto text = Format::Text004;
    QTest::newRow("a number and its unit")
        << u"h1|CPU|45 %"_qs << text
        << QStringList{u"senvo_reading{host=\"h1\",reading=\"CPU\",unit=\"%\"} 45"_qs,
                       u"senvo_reading_state{host=\"h1\",reading=\"CPU\"} 0"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"h1\"} {t0}"_qs,
                       u"senvo_hosts 1"_qs, u"senvo_hosts_silent 0"_qs}
        << QStringList{u"senvo_reading_info{"_qs};
    QTest::newRow("numbers as the table reads them")
        << u"h|a|3.2G; h|b|5MB; h|c|5 MB; h|d| 1.5k ; h|e|2T; h|f|-7 C; h|g|0.1; h|h|1200rpm; "
           u"h|i|1e3; h|j|5000T; h|k|17976931348623157%1"_qs.arg(QString(292, u'0'))
        << text
        << QStringList{u"senvo_reading{host=\"h\",reading=\"a\",unit=\"\"} 3200000000"_qs,
                       u"senvo_reading{host=\"h\",reading=\"b\",unit=\"B\"} 5000000"_qs,
                       u"senvo_reading{host=\"h\",reading=\"c\",unit=\"MB\"} 5"_qs,
                       u"senvo_reading{host=\"h\",reading=\"d\",unit=\"\"} 1500"_qs,
                       u"senvo_reading{host=\"h\",reading=\"e\",unit=\"\"} 2000000000000"_qs,
                       u"senvo_reading{host=\"h\",reading=\"f\",unit=\"C\"} -7"_qs,
                       u"senvo_reading{host=\"h\",reading=\"g\",unit=\"\"} 0.1"_qs,
                       u"senvo_reading{host=\"h\",reading=\"h\",unit=\"rpm\"} 1200"_qs,
                       u"senvo_reading{host=\"h\",reading=\"i\",unit=\"e3\"} 1"_qs,
                       u"senvo_reading{host=\"h\",reading=\"j\",unit=\"\"} 5e+15"_qs,
                       u"senvo_reading{host=\"h\",reading=\"k\",unit=\"\"} 1.7976931348623157e+308"_qs}
        << QStringList{u"senvo_reading_info{"_qs};
    QTest::newRow("words, and a blank value")
        << u"h|Service| up ; h|Mode|n/a; h|Empty| "_qs << text
        << QStringList{u"senvo_reading_info{host=\"h\",reading=\"Service\",value=\"up\"} 1"_qs,
                       u"senvo_reading_info{host=\"h\",reading=\"Mode\",value=\"n/a\"} 1"_qs,
                       u"senvo_reading_state{host=\"h\",reading=\"Empty\"} 0"_qs}
        << QStringList{u"senvo_reading{"_qs, u"senvo_reading_info{host=\"h\",reading=\"Empty\""_qs};
    QTest::newRow("quote, backslash and line feed escaped")
        << u"we\"b\\1|a\nb|21 \"C\"; we\"b\\1|x|a\tb\rc"_qs << Format::OpenMetrics100
        << QStringList{uR"(senvo_reading{host="we\"b\\1",reading="a\nb",unit="\"C\""} 21)"_qs,
                       u"senvo_reading_info{host=\"we\\\"b\\\\1\",reading=\"x\",value=\"a\tb\rc\"} 1"_qs}
        << QStringList();
    QTest::newRow("UTF-8 kept, a lone surrogate replaced")
        << u"café|Température|21°C; café|Mood|\U0001F600; café|x|%1"_qs.arg(QChar(0xd800)) << text
        << QStringList{u"senvo_reading{host=\"café\",reading=\"Température\",unit=\"°C\"} 21"_qs,
                       u"senvo_reading_info{host=\"café\",reading=\"Mood\",value=\"\U0001F600\"} 1"_qs,
                       u"senvo_reading_info{host=\"café\",reading=\"x\",value=\"\uFFFD\"} 1"_qs}
        << QStringList();
    QTest::newRow("warning and critical")
        << u"a|CPU|97; b|CPU|85; b|Service|down; c|CPU|50"_qs << text
        << QStringList{u"senvo_reading_state{host=\"a\",reading=\"CPU\"} 2"_qs,
                       u"senvo_reading_state{host=\"b\",reading=\"CPU\"} 1"_qs,
                       u"senvo_reading_state{host=\"b\",reading=\"Service\"} 2"_qs,
                       u"senvo_reading_state{host=\"c\",reading=\"CPU\"} 0"_qs}
        << QStringList();
    // Heard once, a reading is overdue after five minutes; silent outranks critical.
    QTest::newRow("silent") << u"a|CPU|97; b|CPU|1; +200; b|CPU|2; +101"_qs << text
                            << QStringList{u"senvo_reading_state{host=\"a\",reading=\"CPU\"} 3"_qs,
                                           u"senvo_reading_state{host=\"b\",reading=\"CPU\"} 0"_qs,
                                           u"senvo_hosts 2"_qs, u"senvo_hosts_silent 1"_qs}
                            << QStringList();
    QTest::newRow("heard at different times")
        << u"a|CPU|1; +10; b|CPU|1; +0.5; c|CPU|1; a|Free|2"_qs << text
        << QStringList{u"senvo_host_last_heard_timestamp_seconds{host=\"a\"} {t10.5}"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"b\"} {t10}"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"c\"} {t10.5}"_qs}
        << QStringList();
    QTest::newRow("counters, text format")
        << u"h|CPU|1"_qs << text
        << QStringList{u"# TYPE senvo_datagrams_received_total counter"_qs,
                       u"senvo_datagrams_received_total 12"_qs,
                       u"senvo_bytes_received_total 3400"_qs, u"senvo_datagrams_ignored_total 2"_qs,
                       u"# TYPE senvo_reading gauge"_qs}
        << QStringList{u"# UNIT"_qs};
    QTest::newRow("counters, OpenMetrics")
        << u"h|CPU|1"_qs << Format::OpenMetrics100
        << QStringList{u"# TYPE senvo_datagrams_received counter"_qs,
                       u"# HELP senvo_datagrams_received Datagrams that reached the syslog port, "
                       u"ignored ones included."_qs,
                       u"senvo_datagrams_received_total 12"_qs,
                       u"# UNIT senvo_host_last_heard_timestamp_seconds seconds"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"h\"} {t0}"_qs}
        << QStringList{u"# TYPE senvo_datagrams_received_total"_qs};
    QTest::newRow("an empty table")
        << QString() << Format::OpenMetrics100 << QStringList{u"senvo_hosts 0"_qs}
        << QStringList{u"senvo_reading{"_qs};
}

void TestMetricsExposition::answer()
{
    QFETCH(QString, readings);
    QFETCH(Format, format);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    Judged judged;
    post(judged, readings);
    const QByteArray answer = scrape(judged.table, format);
    const MetricsCheck check(answer, format == Format::OpenMetrics100);
    QVERIFY2(check.faults.isEmpty(), qPrintable(check.faults.join(u'\n')));

    const QStringList lines = QString::fromUtf8(answer).split(u'\n');
    const QRegularExpression time(u"\\{t([0-9.]+)\\}"_qs);
    for (QString line : present) {
        const QRegularExpressionMatch at = time.match(line);
        if (at.hasMatch()) {
            const double seconds =
                double(judged.clock.wallAtZero.toSecsSinceEpoch()) + at.captured(1).toDouble();
            line.replace(at.capturedStart(), at.capturedLength(),
                         QString::number(seconds, 'g', 15));
        }
        QVERIFY2(lines.contains(line), qPrintable(line));
    }
    for (const QString &start : absent) {
        for (const QString &line : lines)
            QVERIFY2(!line.startsWith(start), qPrintable(line));
    }
}

void TestMetricsExposition::negotiated_data()
{
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<Format>("format");

    QTest::newRow("none") << QByteArray() << Format::Text004;
    QTest::newRow("as Prometheus asks")
        << QByteArray("application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
                      "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1")
        << Format::OpenMetrics100;
    QTest::newRow("text preferred")
        << QByteArray("text/plain;version=0.0.4;q=0.9, application/openmetrics-text;q=0.5")
        << Format::Text004;
    QTest::newRow("in capitals, spaced")
        << QByteArray(" Application/OpenMetrics-Text ; Version=1.0.0") << Format::OpenMetrics100;
    QTest::newRow("refused with q=0")
        << QByteArray("application/openmetrics-text;q=0, */*") << Format::Text004;
    QTest::newRow("another version")
        << QByteArray("application/openmetrics-text;version=2.0.0") << Format::Text004;
    QTest::newRow("nonsense") << QByteArray(";;=,,;q=x") << Format::Text004;
}

void TestMetricsExposition::negotiated()
{
    QFETCH(QByteArray, accept);
    QFETCH(Format, format);
    QCOMPARE(MetricsExposition::negotiate(accept), format);
}

void TestMetricsExposition::piecesMakeTheSameAnswer_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<qsizetype>("piece");

    for (const qsizetype piece : {1, 7, 100, 4096}) {
        QTest::addRow("text, pieces of %lld", qint64(piece)) << Format::Text004 << piece;
        QTest::addRow("OpenMetrics, pieces of %lld", qint64(piece))
            << Format::OpenMetrics100 << piece;
    }
}

void TestMetricsExposition::piecesMakeTheSameAnswer()
{
    QFETCH(Format, format);
    QFETCH(qsizetype, piece);

    Judged judged;
    for (int number = 0; number < 60; ++number)
        judged.post(u"%1|CPU|%2 %; %1|Service|up; %1|Free|9 GB"_qs.arg(host(number)).arg(number));
    const QByteArray whole = scrape(judged.table, format);

    MetricsExposition exposition(judged.table, {12, 3400, 2}, format);
    QByteArray answer;
    int calls = 0;
    for (bool more = true; more; ++calls) {
        const qsizetype before = answer.size();
        more = exposition.writeNext(answer, piece);
        // Each piece at least what was asked, but the last.
        QVERIFY(!more || answer.size() - before >= piece);
    }
    QCOMPARE(answer, whole);
    QVERIFY(calls >= whole.size() / std::max<qsizetype>(piece, 300));
    QVERIFY(!exposition.writeNext(answer, piece));
    QCOMPARE(answer.size(), whole.size());
}

void TestMetricsExposition::rowsRemovedBetweenPieces_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("change"); // made between every two pieces

    for (const QString &change : {u"an even host"_qs, u"every even host"_qs, u"all"_qs}) {
        QTest::addRow("text, %s removed and heard again", qPrintable(change))
            << Format::Text004 << change;
        QTest::addRow("OpenMetrics, %s removed and heard again", qPrintable(change))
            << Format::OpenMetrics100 << change;
    }
}

// Rows that go and come back between pieces never give a family the same sample twice, and
// rows that stay are in every family whole.
void TestMetricsExposition::rowsRemovedBetweenPieces()
{
    QFETCH(Format, format);
    QFETCH(QString, change);

    Judged judged;
    ReadingsTable &table = judged.table;
    const auto hear = [&judged](const QString &name) {
        judged.post(u"%1|CPU|97; %1|Service|up"_qs.arg(name));
    };
    constexpr int hosts = 40;
    for (int number = 0; number < hosts; ++number)
        hear(host(number));

    MetricsExposition exposition(table, {}, format);
    QByteArray answer;
    int pieces = 0;
    while (exposition.writeNext(answer, 150)) {
        ++pieces;
        std::vector<int> rows;
        QStringList gone;
        for (int row = 0; row < table.hostCount(); ++row) {
            // Hosts heard for the first time meanwhile are "new1" and so on.
            const bool first = table.host(row).startsWith(u'h');
            const int number = table.host(row).sliced(1).toInt();
            if (change == u"all"
                || (first && number % 2 == 0
                    && (change == u"every even host" || number == (pieces * 2) % hosts))) {
                rows.push_back(row);
                gone << table.host(row);
            }
        }
        table.removeHosts(rows);
        for (const QString &name : gone)
            hear(name);
        hear(u"new%1"_qs.arg(pieces));
    }
    QVERIFY(pieces > 3);

    const MetricsCheck check(answer, format == Format::OpenMetrics100);
    QVERIFY2(check.faults.isEmpty(), qPrintable(check.faults.join(u'\n')));
    for (int number = 1; number < hosts && change != u"all"; number += 2) {
        const QString name = host(number);
        QVERIFY(check.keys["senvo_host_last_heard_timestamp_seconds"].contains(name));
        QVERIFY(check.keys["senvo_reading"].contains(name + u"|CPU"_qs));
        QVERIFY(check.keys["senvo_reading_info"].contains(name + u"|Service"_qs));
        QVERIFY(check.keys["senvo_reading_state"].contains(name + u"|Service"_qs));
    }
}

QTEST_GUILESS_MAIN(TestMetricsExposition)
#include "tst_metricsexposition.moc"
