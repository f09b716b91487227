#include "engine/events/eventscsv.h"

#include <QDateTime>
#include <QTest>

class tst_EventsCsv final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
};

void tst_EventsCsv::lines_data()
{
    QTest::addColumn<std::vector<ArchiveEvent>>("events");
    QTest::addColumn<QStringList>("expected"); // after the time of each line
    QTest::newRow("a reading's and a host's")
        << std::vector<ArchiveEvent>{{2000, u"web-1"_qs, u"CPU"_qs, u"normal"_qs, u"warning"_qs,
                                      u"91 %"_qs},
                                     {1000, u"web-3"_qs, QString(), QString(), u"first heard"_qs,
                                      QString()}}
        << QStringList{u",web-1,CPU,normal,warning,91 %"_qs, u",web-3,,,first heard,"_qs};
    QTest::newRow("quoted where it must be")
        << std::vector<ArchiveEvent>{{0, u"web-1"_qs, u"Fan, \"rear\""_qs, u"normal"_qs,
                                      u"critical"_qs, u"2\n3"_qs}}
        << QStringList{u",web-1,\"Fan, \"\"rear\"\"\",normal,critical,\"2\n3\""_qs};
    QTest::newRow("none") << std::vector<ArchiveEvent>() << QStringList();
}

void tst_EventsCsv::lines()
{
    QFETCH(std::vector<ArchiveEvent>, events);
    QFETCH(QStringList, expected);
    const QByteArray csv = EventsCsv::write(events);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"
                           "Time,Host,Reading,From,To,Value\r\n"));
    QVERIFY(csv.endsWith("\r\n"));
    QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_qs);
    lines.removeFirst();
    lines.removeLast();
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // Each line's time in ISO 8601 with the offset, then the event as kept.
        const qsizetype comma = lines[i].indexOf(u',');
        const QDateTime time = QDateTime::fromString(lines[i].left(comma), Qt::ISODateWithMs);
        QCOMPARE(time.toMSecsSinceEpoch(), events[size_t(i)].timeMs);
        QCOMPARE(lines[i].mid(comma), expected[i]);
    }
}

QTEST_APPLESS_MAIN(tst_EventsCsv)
#include "tst_eventscsv.moc"
