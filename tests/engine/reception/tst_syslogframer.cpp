#include "engine/reception/syslogframer.h"

#include <QTest>

using Chunks = QList<QByteArray>;
using Status = SyslogFramer::Status;

namespace {

struct Outcome
{
    QList<QByteArray> messages;
    Status status = Status::Ok;
    bool inFrame = false;
};

Outcome frame(const Chunks &chunks)
{
    SyslogFramer framer;
    Outcome outcome;
    for (const QByteArray &chunk : chunks)
        outcome.status = framer.feed(chunk, [&outcome](QByteArrayView message) {
            outcome.messages.append(message.toByteArray());
        });
    outcome.inFrame = framer.inFrame();
    return outcome;
}

} // namespace

class TestSyslogFramer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frames_data();
    void frames();
    void splitAnywhere_data();
    void splitAnywhere();
    void nothingMoreAfterAFault();
};

void TestSyslogFramer::frames_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("inFrame");

    const QByteArray a = "<13>Dec  8 01:45:39 h1 senvo[CPU]: t=45 %";
    const QByteArray b = "<13>Dec  8 01:45:39 h2 senvo[Fan]: n=1200 rpm";
    const QByteArray count = QByteArray::number(a.size()) + ' ';
    QTest::newRow("octet count") << Chunks{count + a} << QList{a} << Status::Ok << false;
    QTest::newRow("octet count holding a line feed")
        << Chunks{"5 ab\ncd"} << QList<QByteArray>{"ab\ncd"} << Status::Ok << false;
    QTest::newRow("line feed") << Chunks{a + '\n'} << QList{a} << Status::Ok << false;
    QTest::newRow("CR LF") << Chunks{a + "\r\n" + b + "\r\n"} << QList{a, b} << Status::Ok << false;
    QTest::newRow("NUL") << Chunks{a + '\0' + b + '\0'} << QList{a, b} << Status::Ok << false;
    QTest::newRow("mixed") << Chunks{count + a + b + '\n' + QByteArray::number(b.size()) + ' ' + b
                                     + a + '\n'}
                           << QList{a, b, b, a} << Status::Ok << false;
    QTest::newRow("line feed after an octet count")
        << Chunks{count + a + '\n' + count + a} << QList{a, a} << Status::Ok << false;
    QTest::newRow("unterminated line waits")
        << Chunks{a} << QList<QByteArray>{} << Status::Ok << true;
    QTest::newRow("count without its message waits")
        << Chunks{count + a.first(10)} << QList<QByteArray>{} << Status::Ok << true;
    QTest::newRow("several reads") << Chunks{count + a.first(3), a.sliced(3, 10), a.sliced(13)}
                                   << QList{a} << Status::Ok << false;
    QTest::newRow("line without priority")
        << Chunks{"hello\n"} << QList<QByteArray>{"hello"} << Status::Ok << false;

    const QByteArray largest(SyslogFramer::maxFrameSize, 'x');
    QTest::newRow("largest count") << Chunks{QByteArray::number(largest.size()) + ' ' + largest}
                                   << QList{largest} << Status::Ok << false;
    QTest::newRow("largest line") << Chunks{'<' + largest.sliced(1) + '\n'}
                                  << QList{'<' + largest.sliced(1)} << Status::Ok << false;
    QTest::newRow("count too large")
        << Chunks{QByteArray::number(SyslogFramer::maxFrameSize + 1) + " <13>"}
        << QList<QByteArray>{} << Status::TooLarge << true;
    QTest::newRow("endless count")
        << Chunks{QByteArray(30, '9')} << QList<QByteArray>{} << Status::TooLarge << true;
    QTest::newRow("line too long, across reads")
        << Chunks{a + '\n', '<' + largest.first(40000), largest.first(40000)} << QList{a}
        << Status::TooLarge << true;
    QTest::newRow("junk in the count")
        << Chunks{a + '\n', "12a <13>x"} << QList{a} << Status::BadCount << true;
    QTest::newRow("count with a leading zero")
        << Chunks{"05 <13>x"} << QList<QByteArray>{} << Status::BadCount << true;
}

void TestSyslogFramer::frames()
{
    QFETCH(Chunks, chunks);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(Status, status);
    QFETCH(bool, inFrame);

    const Outcome outcome = frame(chunks);
    QCOMPARE(outcome.messages, messages);
    QCOMPARE(outcome.status, status);
    if (status == Status::Ok)
        QCOMPARE(outcome.inFrame, inFrame);
}

void TestSyslogFramer::splitAnywhere_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("octet counts") << QByteArray("10 <13>a b[c]20 <13>Dec  8 h s[n]: 1\n");
    QTest::newRow("lines") << QByteArray("<13>a b[c]: 1\r\n<14>d e[f]: 2\n\0<15>x\n", 36);
    QTest::newRow("mixed") << QByteArray("<13>a b[c]: 1\n8 <14>d\n12 <15>g h[i]\n");
}

// Two reads split at every byte, and one read per byte, give what one read does.
void TestSyslogFramer::splitAnywhere()
{
    QFETCH(QByteArray, stream);
    const Outcome whole = frame({stream});
    QVERIFY(!whole.messages.isEmpty());
    QCOMPARE(whole.status, Status::Ok);
    for (qsizetype at = 0; at <= stream.size(); ++at) {
        const Outcome split = frame({stream.first(at), stream.sliced(at)});
        QVERIFY2(split.messages == whole.messages, qPrintable(QString::number(at)));
    }
    Chunks bytes;
    for (const char c : std::as_const(stream))
        bytes.append(QByteArray(1, c));
    QCOMPARE(frame(bytes).messages, whole.messages);
}

void TestSyslogFramer::nothingMoreAfterAFault()
{
    SyslogFramer framer;
    int messages = 0;
    const auto count = [&messages](QByteArrayView) { ++messages; };
    QCOMPARE(framer.feed("x1 <13>", count), Status::Ok);
    QCOMPARE(framer.feed("\n1x", count), Status::BadCount);
    QCOMPARE(framer.feed("<13>a b[c]: 1\n", count), Status::BadCount);
    QCOMPARE(messages, 1);
}

QTEST_GUILESS_MAIN(TestSyslogFramer)
#include "tst_syslogframer.moc"
