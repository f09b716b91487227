#include "engine/metrics/metricsexposition.h"
#include "judgedtable.h"
#include "metricscheck.h"

#include <QRegularExpression>
#include <QTest>

using Format = MetricsExposition::Format;

Q_DECLARE_METATYPE(MetricsExposition::Format)

namespace {

const MetricsExposition::Counters counters{12, 3400, 2};

QByteArray scrape(const ReadingsTable &table, Format format, qsizetype piece = 1 << 24)
{
    MetricsExposition exposition(table, counters, format);
    QByteArray answer;
    while (exposition.writeNext(answer, piece)) {
    }
    return answer;
}

// Readings as "host|name|value; ...", where "+N" moves the clock on N seconds and ticks.
void post(Judged &judged, const QString &readings)
{
    for (const QString &step : readings.split(u"; "_qs)) {
        if (step.startsWith(u'+')) {
            judged.clock.seconds += step.sliced(1).toDouble();
            judged.table.tick();
        } else {
            judged.post(step);
        }
    }
}

} // namespace

// The table as Prometheus scrapes it, whole and in pieces.
class TestMetricsExposition final : public QObject
{
    Q_OBJECT

private slots:
    void answer_data();
    void answer();
    void labelsEscaped_data();
    void labelsEscaped();
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

    QTest::newRow("a number and its unit")
        << u"h1|CPU|45 %"_qs << Format::Text004
        << QStringList{u"senvo_reading{host=\"h1\",reading=\"CPU\",unit=\"%\"} 45"_qs,
                       u"senvo_reading_state{host=\"h1\",reading=\"CPU\"} 0"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"h1\"} {t0}"_qs,
                       u"senvo_hosts 1"_qs, u"senvo_hosts_silent 0"_qs}
        << QStringList{u"senvo_reading_info{"_qs};
    QTest::newRow("numbers as the table reads them")
        << u"h|a|3.2G; h|b|5MB; h|c|5 MB; h|d| 1.5k ; h|e|2T; h|f|-7 C; h|g|0.1; h|h|1200rpm; "
           u"h|i|1e3; h|j|5000T; h|k|17976931348623157%1"_qs.arg(QString(292, u'0'))
        << Format::Text004
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
        << u"h|Service| up ; h|Mode|n/a; h|Empty| "_qs << Format::Text004
        << QStringList{u"senvo_reading_info{host=\"h\",reading=\"Service\",value=\"up\"} 1"_qs,
                       u"senvo_reading_info{host=\"h\",reading=\"Mode\",value=\"n/a\"} 1"_qs,
                       u"senvo_reading_state{host=\"h\",reading=\"Empty\"} 0"_qs}
        << QStringList{u"senvo_reading{"_qs, u"senvo_reading_info{host=\"h\",reading=\"Empty\""_qs};
    QTest::newRow("warning and critical")
        << u"a|CPU|97; b|CPU|85; b|Service|down; c|CPU|50"_qs << Format::Text004
        << QStringList{u"senvo_reading_state{host=\"a\",reading=\"CPU\"} 2"_qs,
                       u"senvo_reading_state{host=\"b\",reading=\"CPU\"} 1"_qs,
                       u"senvo_reading_state{host=\"b\",reading=\"Service\"} 2"_qs,
                       u"senvo_reading_state{host=\"c\",reading=\"CPU\"} 0"_qs}
        << QStringList();
    // Heard once, a reading is overdue after five minutes; silent outranks critical.
    QTest::newRow("silent") << u"a|CPU|97; b|CPU|1; +200; b|CPU|2; +101"_qs << Format::Text004
                            << QStringList{u"senvo_reading_state{host=\"a\",reading=\"CPU\"} 3"_qs,
                                           u"senvo_reading_state{host=\"b\",reading=\"CPU\"} 0"_qs,
                                           u"senvo_hosts 2"_qs, u"senvo_hosts_silent 1"_qs}
                            << QStringList();
    QTest::newRow("heard at different times")
        << u"a|CPU|1; +10; b|CPU|1; +0.5; c|CPU|1; a|Free|2"_qs << Format::Text004
        << QStringList{u"senvo_host_last_heard_timestamp_seconds{host=\"a\"} {t10.5}"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"b\"} {t10}"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"c\"} {t10.5}"_qs}
        << QStringList();
    QTest::newRow("counters, text format")
        << u"h|CPU|1"_qs << Format::Text004
        << QStringList{u"# TYPE senvo_datagrams_received_total counter"_qs,
                       u"senvo_datagrams_received_total 12"_qs,
                       u"# TYPE senvo_bytes_received_total counter"_qs,
                       u"senvo_bytes_received_total 3400"_qs,
                       u"senvo_datagrams_ignored_total 2"_qs,
                       u"# TYPE senvo_reading gauge"_qs}
        << QStringList{u"# EOF"_qs, u"# UNIT"_qs};
    QTest::newRow("counters, OpenMetrics")
        << u"h|CPU|1"_qs << Format::OpenMetrics100
        << QStringList{u"# TYPE senvo_datagrams_received counter"_qs,
                       u"# HELP senvo_datagrams_received Datagrams that reached the syslog port, "
                       "ignored ones included."_qs,
                       u"senvo_datagrams_received_total 12"_qs,
                       u"# TYPE senvo_datagrams_ignored counter"_qs,
                       u"senvo_datagrams_ignored_total 2"_qs,
                       u"# UNIT senvo_host_last_heard_timestamp_seconds seconds"_qs,
                       u"senvo_host_last_heard_timestamp_seconds{host=\"h\"} {t0}"_qs,
                       u"senvo_reading{host=\"h\",reading=\"CPU\",unit=\"\"} 1"_qs}
        << QStringList{u"# TYPE senvo_datagrams_received_total"_qs};
    QTest::newRow("an empty table")
        << QString() << Format::OpenMetrics100
        << QStringList{u"senvo_hosts 0"_qs, u"# TYPE senvo_reading gauge"_qs}
        << QStringList{u"senvo_reading{"_qs};
}

void TestMetricsExposition::answer()
{
    QFETCH(QString, readings);
    QFETCH(Format, format);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    Judged judged;
    if (!readings.isEmpty())
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
        if (!lines.contains(line))
            qWarning().noquote() << answer;
        QVERIFY2(lines.contains(line), qPrintable(line));
    }
    for (const QString &start : absent) {
        for (const QString &line : lines)
            QVERIFY2(!line.startsWith(start), qPrintable(line));
    }
}

void TestMetricsExposition::labelsEscaped_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("quote, backslash, line feed")
        << u"we\"b\\1"_qs << u"a\nb"_qs << u"21 \"C\""_qs
        << QByteArray(R"(senvo_reading{host="we\"b\\1",reading="a\nb",unit="\"C\""} 21)");
    QTest::newRow("UTF-8 kept")
        << u"café"_qs << u"Température"_qs << u"21°C"_qs
        << QByteArray("senvo_reading{host=\"caf\xc3\xa9\",reading=\"Temp\xc3\xa9rature\","
                      "unit=\"\xc2\xb0"
                      "C\"} 21");
    QTest::newRow("beyond 16 bits") << u"h"_qs << u"Mood"_qs << u"\U0001F600 \\"_qs
                                    << QByteArray("senvo_reading_info{host=\"h\",reading=\"Mood\","
                                                  "value=\"\xf0\x9f\x98\x80 \\\\\"} 1");
    QTest::newRow("a lone surrogate") << u"h"_qs << u"x"_qs << QString(QChar(0xd800))
                                      << QByteArray("senvo_reading_info{host=\"h\",reading=\"x\","
                                                    "value=\"\xef\xbf\xbd\"} 1");
    QTest::newRow("tab and carriage return as they are")
        << u"h"_qs << u"x"_qs << u"a\tb\rc"_qs
        << QByteArray("senvo_reading_info{host=\"h\",reading=\"x\",value=\"a\tb\rc\"} 1");
}

void TestMetricsExposition::labelsEscaped()
{
    QFETCH(QString, host);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QByteArray, line);

    Judged judged;
    judged.table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, host, name, value});
    for (const Format format : {Format::Text004, Format::OpenMetrics100}) {
        const QByteArray answer = scrape(judged.table, format);
        QVERIFY2(answer.split('\n').contains(line), answer.constData());
        const MetricsCheck check(answer, format == Format::OpenMetrics100);
        QVERIFY2(check.faults.isEmpty(), qPrintable(check.faults.join(u'\n')));
        // The escapes undone give the texts back.
        QCOMPARE(check.keysOf("senvo_reading_state"), QStringList{host + u'|' + name});
    }
}

void TestMetricsExposition::negotiated_data()
{
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<Format>("format");

    QTest::newRow("none") << QByteArray() << Format::Text004;
    QTest::newRow("Prometheus 2") << QByteArray(
        "application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
        "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1")
                                  << Format::OpenMetrics100;
    QTest::newRow("text preferred")
        << QByteArray("text/plain;version=0.0.4;q=0.9, application/openmetrics-text;q=0.5")
        << Format::Text004;
    QTest::newRow("OpenMetrics alone, in capitals, spaced")
        << QByteArray(" Application/OpenMetrics-Text ; Version=1.0.0") << Format::OpenMetrics100;
    QTest::newRow("refused with q=0")
        << QByteArray("application/openmetrics-text;q=0, */*") << Format::Text004;
    QTest::newRow("a version not written")
        << QByteArray("application/openmetrics-text;version=2.0.0") << Format::Text004;
    QTest::newRow("anything") << QByteArray("*/*") << Format::Text004;
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

    for (const Format format : {Format::Text004, Format::OpenMetrics100}) {
        const char *const name = format == Format::Text004 ? "text" : "OpenMetrics";
        for (const qsizetype piece : {1, 7, 100, 4096}) {
            QTest::addRow("%s, pieces of %lld", name, qint64(piece)) << format << piece;
        }
    }
}

void TestMetricsExposition::piecesMakeTheSameAnswer()
{
    QFETCH(Format, format);
    QFETCH(qsizetype, piece);

    Judged judged;
    for (int host = 0; host < 60; ++host) {
        judged.post(u"host%1|CPU|%2 %; host%1|Service|up; host%1|Free|%3 GB"_qs.arg(host)
                        .arg(host * 1.5)
                        .arg(100 - host));
    }
    const QByteArray whole = scrape(judged.table, format);

    MetricsExposition exposition(judged.table, counters, format);
    QByteArray answer;
    int calls = 0;
    for (bool more = true; more; ++calls) {
        const qsizetype before = answer.size();
        more = exposition.writeNext(answer, piece);
        // A piece is at least what was asked, unless it is the last.
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

    for (const Format format : {Format::Text004, Format::OpenMetrics100}) {
        const char *const name = format == Format::Text004 ? "text" : "OpenMetrics";
        QTest::addRow("%s, an even host removed and heard again", name) << format << u"one"_qs;
        QTest::addRow("%s, every even host removed and heard again", name) << format << u"evens"_qs;
        QTest::addRow("%s, cleared and all heard again", name) << format << u"clear"_qs;
        QTest::addRow("%s, new hosts", name) << format << u"new"_qs;
    }
}

// Rows that go and come back between pieces never give a family the same sample twice,
// and rows that stay are in every family whole.
void TestMetricsExposition::rowsRemovedBetweenPieces()
{
    QFETCH(Format, format);
    QFETCH(QString, change);

    Judged judged;
    ReadingsTable &table = judged.table;
    const auto hear = [&judged](const QString &host) {
        judged.post(u"%1|CPU|97; %1|Service|up"_qs.arg(host));
    };
    constexpr int hosts = 40;
    for (int host = 0; host < hosts; ++host)
        hear(u"h%1"_qs.arg(host, 2, 10, QChar(u'0')));

    MetricsExposition exposition(table, counters, format);
    QByteArray answer;
    int pieces = 0;
    while (exposition.writeNext(answer, 150)) {
        ++pieces;
        if (change == u"one" || change == u"evens") {
            std::vector<int> rows;
            for (int row = 0; row < table.hostCount(); ++row) {
                const int number = table.host(row).sliced(1).toInt();
                if (number % 2 == 0 && (change == u"evens" || number == (pieces * 2) % hosts))
                    rows.push_back(row);
            }
            QStringList gone;
            for (const int row : rows)
                gone << table.host(row);
            table.removeHosts(rows);
            for (const QString &host : gone)
                hear(host);
        } else if (change == u"clear") {
            table.clear();
            for (int host = 0; host < hosts; ++host)
                hear(u"h%1"_qs.arg(host, 2, 10, QChar(u'0')));
        } else {
            hear(u"n%1"_qs.arg(pieces, 3, 10, QChar(u'0')));
        }
    }
    QVERIFY(pieces > (change == u"clear" ? 5 : 20));

    const MetricsCheck check(answer, format == Format::OpenMetrics100);
    QVERIFY2(check.faults.isEmpty(), qPrintable(check.faults.join(u'\n')));
    if (change == u"clear")
        return;
    // The odd hosts stay throughout.
    for (int host = 1; host < hosts; host += 2) {
        const QString name = u"h%1"_qs.arg(host, 2, 10, QChar(u'0'));
        QVERIFY2(check.keysOf("senvo_host_last_heard_timestamp_seconds").contains(name),
                 qPrintable(name));
        QVERIFY2(check.keysOf("senvo_reading").contains(name + u"|CPU"_qs), qPrintable(name));
        QVERIFY2(check.keysOf("senvo_reading_info").contains(name + u"|Service"_qs),
                 qPrintable(name));
        QVERIFY2(check.keysOf("senvo_reading_state").contains(name + u"|Service"_qs),
                 qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestMetricsExposition)
#include "tst_metricsexposition.moc"
