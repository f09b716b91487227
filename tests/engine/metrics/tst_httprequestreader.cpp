#include "engine/metrics/httprequestreader.h"
#include "httprequestcheck.h"

#include <QDir>
#include <QTest>

using Status = HttpRequestReader::Status;

namespace {

// What a reader made of a request, in one line that tells cases apart.
QByteArray outcome(const HttpRequestReader &reader)
{
    static const char *const names[] = {"need more", "complete", "too large", "malformed"};
    QByteArray text = names[int(reader.status())];
    if (reader.status() == Status::Complete) {
        text += ' ' + reader.method() + ' ' + reader.target() + " ?" + reader.query() + " 1."
                + QByteArray::number(reader.minorVersion()) + " accept=" + reader.header("accept");
    }
    return text;
}

QByteArray headOfSize(qsizetype size)
{
    const QByteArray start = "GET /metrics HTTP/1.1\r\nX-Pad: ";
    const QByteArray end = "\r\n\r\n";
    return start + QByteArray(size - start.size() - end.size(), 'p') + end;
}

} // namespace

// The head of one request, read as it arrives in pieces of any size.
class TestHttpRequestReader final : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void fuzzCorpus_data();
    void fuzzCorpus();
};

void TestHttpRequestReader::read_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("as Prometheus asks")
        << QByteArray("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9464\r\nUser-Agent: Prometheus/2"
                      "\r\nAccept: application/openmetrics-text;version=1.0.0,text/plain;q=0.5"
                      "\r\n\r\n")
        << QByteArray("complete GET /metrics ? 1.1 accept=application/openmetrics-text;"
                      "version=1.0.0,text/plain;q=0.5");
    QTest::newRow("bare line feeds, HTTP/1.0, no headers")
        << QByteArray("HEAD /metrics HTTP/1.0\n\n")
        << QByteArray("complete HEAD /metrics ? 1.0 accept=");
    QTest::newRow("query split off, empty lines before")
        << QByteArray("\r\n\r\nGET /metrics?name[]=x&y HTTP/1.1\r\n\r\n")
        << QByteArray("complete GET /metrics ?name[]=x&y 1.1 accept=");
    QTest::newRow("headers in any case, repeated, blanks trimmed")
        << QByteArray("GET / HTTP/1.1\r\nACCEPT:  text/plain \t\r\naccept:*/*\r\n\r\n")
        << QByteArray("complete GET / ? 1.1 accept=text/plain, */*");
    QTest::newRow("a proxy's whole address")
        << QByteArray("GET http://example.test:9464/metrics?a HTTP/1.1\r\n\r\n")
        << QByteArray("complete GET /metrics ?a 1.1 accept=");
    QTest::newRow("a proxy's address without a path")
        << QByteArray("GET HTTPS://example.test?a/b HTTP/1.1\r\n\r\n")
        << QByteArray("complete GET / ?a/b 1.1 accept=");
    QTest::newRow("the whole server") << QByteArray("OPTIONS * HTTP/1.1\r\n\r\n")
                                      << QByteArray("complete OPTIONS * ? 1.1 accept=");
    QTest::newRow("a later minor version is read as 1.1")
        << QByteArray("GET /metrics HTTP/1.7\r\n\r\n")
        << QByteArray("complete GET /metrics ? 1.1 accept=");
    QTest::newRow("a body after the head is left unread")
        << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 4\r\n\r\nab\r\n")
        << QByteArray("complete POST /metrics ? 1.1 accept=");
    QTest::newRow("a head of exactly the most allowed")
        << headOfSize(HttpRequestReader::maxHeadSize)
        << QByteArray("complete GET /metrics ? 1.1 accept=");
    QTest::newRow("one byte more")
        << headOfSize(HttpRequestReader::maxHeadSize + 1) << QByteArray("too large");
    QTest::newRow("empty lines without end")
        << QByteArray(HttpRequestReader::maxHeadSize + 1, '\n') << QByteArray("too large");
    QTest::newRow("unfinished") << QByteArray("GET /metrics HTTP/1.1\r\nAccept: x\r\n")
                                << QByteArray("need more");

    const char *const malformed[] = {
        "GET /metrics\r\n\r\n",
        "GET ?1 HTTP/1.1\r\n\r\n",
        "GET metrics HTTP/1.1\r\n\r\n",
        "GET  /metrics HTTP/1.1\r\n\r\n",
        "GET /metrics HTTP/2.0\r\n\r\n",
        "GET /metrics http/1.1\r\n\r\n",
        "G(T /metrics HTTP/1.1\r\n\r\n",
        "GET /met\x01rics HTTP/1.1\r\n\r\n",
        "GET /m\xc3\xa9trics HTTP/1.1\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nno colon\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nAccept : x\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nAccept: x\r\n folded\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nAccept: a\rb\r\n\r\n",
        "GET /metrics HTTP/1.1\r\nAccept: a\x7f\r\n\r\n",
        "GET /metrics HTTP/1.1\r\n: empty name\r\n\r\n",
        " GET /metrics HTTP/1.1\r\n\r\n",
    };
    for (const char *const request : malformed) {
        QTest::newRow(QByteArray(request).toPercentEncoding(" /:").constData())
            << QByteArray(request) << QByteArray("malformed");
    }
}

// Whole, a byte at a time, and cut in two at each place: the same outcome each way.
void TestHttpRequestReader::read()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);

    HttpRequestReader whole;
    whole.feed(request);
    QCOMPARE(outcome(whole), expected);

    HttpRequestReader bytes;
    for (const char byte : request)
        bytes.feed(QByteArrayView(&byte, 1));
    QCOMPARE(outcome(bytes), expected);

    // Long heads are cut at fewer places: the same few lines repeat there.
    const qsizetype step = request.size() > 1024 ? 61 : 1;
    for (qsizetype cut = 0; cut <= request.size(); cut += step) {
        HttpRequestReader halves;
        halves.feed(QByteArrayView(request).first(cut));
        halves.feed(QByteArrayView(request).sliced(cut));
        QVERIFY2(outcome(halves) == expected, qPrintable(u"cut at %1"_qs.arg(cut)));
    }
}

void TestHttpRequestReader::fuzzCorpus_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(SENVO_HTTP_CORPUS));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

// Every seed of the fuzz corpus, through the checks the fuzzer makes; no fuzzer needed.
void TestHttpRequestReader::fuzzCorpus()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QByteArray fault = httpRequestFault(file.readAll());
    QVERIFY2(fault.isEmpty(), fault.constData());
}

QTEST_GUILESS_MAIN(TestHttpRequestReader)
#include "tst_httprequestreader.moc"
