#include "gui/settings/senderspage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

// The Senders page's TCP and TLS: what check() refuses and under which message, and that a
// sound edit reaches the apply functions as typed, each only when its own part changed.
class TestSendersPage final : public QObject
{
    Q_OBJECT

private slots:
    void edited_data();
    void edited();
    void tlsFieldsFollowTheirBox();
};

namespace {

const QString fingerprint = u"SHA256:"_qs + QString(u"0f:"_qs).repeated(31) + u"a0"_qs;

struct Applied
{
    QList<SendersSettings> senders;
    QList<StreamSettings> streams;
};

SendersPage *pageRecording(Applied &applied, const StreamSettings &inForce = {})
{
    return new SendersPage(
        SendersSettings(QStringList(), QString()),
        [&applied](const SendersSettings &s) {
            applied.senders.append(s);
            return QString();
        },
        inForce,
        [&applied](const StreamSettings &s) {
            applied.streams.append(s);
            return QString();
        });
}

} // namespace

void TestSendersPage::edited_data()
{
    QTest::addColumn<bool>("tcpOn");
    QTest::addColumn<QString>("tcpPort"); // null: left as the page offers it
    QTest::addColumn<bool>("tlsOn");
    QTest::addColumn<QString>("tlsPort");
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("privateKey");
    QTest::addColumn<QString>("clients");
    QTest::addColumn<QString>("senders");
    QTest::addColumn<QString>("refused"); // the message's name; empty: applied
    QTest::addColumn<quint16>("tcp");     // as applied
    QTest::addColumn<quint16>("tls");
    QTest::addColumn<QStringList>("allowed");

    const QString none;
    const QStringList nobody;
    QTest::newRow("tcp on, its port offered")
        << true << none << false << none << none << none << none << none << none << quint16(5514)
        << quint16(0) << nobody;
    QTest::newRow("tls on, files and clients as typed")
        << false << none << true << none << u" server.pem "_qs << u"keys/server.key"_qs
        << u"relay1.example.net\n\n  "_qs + fingerprint + u"\n"_qs << none << none << quint16(0)
        << quint16(6514) << QStringList{u"relay1.example.net"_qs, fingerprint};
    QTest::newRow("both on, and senders: both applied")
        << true << u"601"_qs << true << u" 6100 "_qs << u"s.pem"_qs << u"s.key"_qs << none
        << u"10.0.0.0/8"_qs << none << quint16(601) << quint16(6100) << nobody;
    QTest::newRow("senders only, a port left off unread")
        << false << u"port"_qs << false << none << none << none << none << u"::1"_qs << none
        << quint16(0) << quint16(0) << nobody;

    QTest::newRow("tcp port not a number")
        << true << u"55l4"_qs << false << none << none << none << none << none
        << u"tcpPortRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("tcp port 0") << true << u"0"_qs << false << none << none << none << none << none
                                << u"tcpPortRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("tls port over 65535")
        << false << none << true << u"65536"_qs << u"s.pem"_qs << u"s.key"_qs << none << none
        << u"tlsPortRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("tcp and tls on one port")
        << true << u"7000"_qs << true << u"7000"_qs << u"s.pem"_qs << u"s.key"_qs << none << none
        << u"samePortRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("tls without a certificate")
        << false << none << true << none << u"  "_qs << u"s.key"_qs << none << none
        << u"tlsFilesRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("tls without a key")
        << false << none << true << none << u"s.pem"_qs << none << none << none
        << u"tlsFilesRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("a client name with a space")
        << false << none << true << none << u"s.pem"_qs << u"s.key"_qs << u"relay1\nrelay two"_qs
        << none << u"allowedClientsRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("a fingerprint too short")
        << false << none << true << none << u"s.pem"_qs << u"s.key"_qs << u"SHA256:0f:a0"_qs << none
        << u"allowedClientsRefused"_qs << quint16(0) << quint16(0) << nobody;
    QTest::newRow("a bad sender before all")
        << true << u"x"_qs << false << none << none << none << none << u"server.lan"_qs
        << u"sendersRefused"_qs << quint16(0) << quint16(0) << nobody;
}

void TestSendersPage::edited()
{
    QFETCH(bool, tcpOn);
    QFETCH(QString, tcpPort);
    QFETCH(bool, tlsOn);
    QFETCH(QString, tlsPort);
    QFETCH(QString, certificate);
    QFETCH(QString, privateKey);
    QFETCH(QString, clients);
    QFETCH(QString, senders);
    QFETCH(QString, refused);
    QFETCH(quint16, tcp);
    QFETCH(quint16, tls);
    QFETCH(QStringList, allowed);

    Applied applied;
    const std::unique_ptr<SendersPage> page(pageRecording(applied));
    QVERIFY(!page->isChanged());
    page->findChild<QCheckBox *>(u"tcpOn"_qs)->setChecked(tcpOn);
    page->findChild<QCheckBox *>(u"tlsOn"_qs)->setChecked(tlsOn);
    const QList<std::pair<const char *, QString>> typed{{"tcpPort", tcpPort},
                                                        {"tlsPort", tlsPort},
                                                        {"tlsCertificate", certificate},
                                                        {"tlsPrivateKey", privateKey}};
    for (const auto &[name, text] : typed) {
        if (!text.isNull())
            page->findChild<QLineEdit *>(QString::fromLatin1(name))->setText(text);
    }
    page->findChild<QPlainTextEdit *>(u"tlsAllowedClients"_qs)->setPlainText(clients);
    page->sendersEdit()->setPlainText(senders);
    QVERIFY(page->isChanged());

    const SettingsPage::Outcome checked = page->check();
    QCOMPARE(checked.name, refused);
    QCOMPARE(checked.message.isEmpty(), refused.isEmpty());
    if (!refused.isEmpty())
        return;

    const SettingsPage::Outcome outcome = page->apply();
    QVERIFY2(outcome.message.isEmpty(), qPrintable(outcome.message));
    QCOMPARE(applied.senders.size(), senders.isEmpty() ? 0 : 1);
    if (!senders.isEmpty())
        QCOMPARE(applied.senders.first().allowedSenders(), QStringList{senders});
    const bool streamsChanged = tcpOn || tlsOn;
    QCOMPARE(applied.streams.size(), streamsChanged ? 1 : 0);
    if (streamsChanged) {
        const StreamSettings &streams = applied.streams.first();
        QCOMPARE(streams.tcpPort(), tcp);
        QCOMPARE(streams.tlsPort(), tls);
        QCOMPARE(streams.certificate(), certificate.trimmed());
        QCOMPARE(streams.privateKey(), privateKey.trimmed());
        QCOMPARE(streams.allowedClients(), allowed);
    }
    // Applied, the edit is what is in force: nothing is applied twice.
    QVERIFY(!page->isChanged());
}

void TestSendersPage::tlsFieldsFollowTheirBox()
{
    Applied applied;
    StreamSettings inForce;
    inForce.setTlsPort(6600);
    inForce.setTlsFiles(u"s.pem"_qs, u"s.key"_qs, QString());
    const std::unique_ptr<SendersPage> page(pageRecording(applied, inForce));
    auto *tlsOn = page->findChild<QCheckBox *>(u"tlsOn"_qs);
    const QList<QWidget *> fields{page->findChild<QLineEdit *>(u"tlsPort"_qs),
                                  page->findChild<QLineEdit *>(u"tlsCertificate"_qs),
                                  page->findChild<QLineEdit *>(u"tlsPrivateKey"_qs),
                                  page->findChild<QLineEdit *>(u"tlsClientCA"_qs),
                                  page->findChild<QPlainTextEdit *>(u"tlsAllowedClients"_qs)};
    QVERIFY(tlsOn->isChecked());
    QCOMPARE(page->findChild<QLineEdit *>(u"tlsPort"_qs)->text(), u"6600"_qs);
    QVERIFY(!page->isChanged());
    for (bool on : {false, true}) {
        tlsOn->setChecked(on);
        for (const QWidget *field : fields)
            QCOMPARE(field->isEnabled(), on);
    }
    QVERIFY(!page->findChild<QLineEdit *>(u"tcpPort"_qs)->isEnabled());

    // Turned off, the files stay in the file for the next time.
    tlsOn->setChecked(false);
    QVERIFY(page->isChanged());
    QVERIFY(page->check().message.isEmpty());
    QVERIFY(page->apply().message.isEmpty());
    QCOMPARE(applied.streams.size(), 1);
    QCOMPARE(applied.streams.first().tlsPort(), quint16(0));
    QCOMPARE(applied.streams.first().certificate(), u"s.pem"_qs);
    QVERIFY(applied.senders.isEmpty());
}

QTEST_MAIN(TestSendersPage)
#include "tst_senderspage.moc"
