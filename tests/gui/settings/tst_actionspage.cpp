#include "fakeactions.h"
#include "gui/settings/actionspage.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

const QDateTime now(QDate(2024, 5, 2), QTime(14, 2, 11), Qt::OffsetFromUTC, 0);

ActionSettings pager()
{
    return ActionSettings::fromObject(
        {{ActionSettings::key, QJsonDocument::fromJson(R"([{"name": "pager", "when": ["critical"],
            "run": ["/usr/local/bin/page", "--team", "ops"]}])")
                                   .array()}});
}

} // namespace

// The Actions page: an action added and edited as the user does it, its mistakes named, and a
// try shown beside it.
class TestActionsPage final : public QObject
{
    Q_OBJECT

private slots:
    void webhookAdded_data();
    void webhookAdded();
    void tried();
};

void TestActionsPage::webhookAdded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QString>("problem"); // a piece of it; empty: none
    QTest::newRow("sound") << u"chat"_qs << u"https://h/x"_qs << u"Authorization: Bearer t"_qs
                           << QString();
    QTest::newRow("not http") << u"chat"_qs << u"ftp://h/x"_qs << QString()
                              << u"not an http:// or https:// address"_qs;
    QTest::newRow("a header without a value")
        << u"chat"_qs << u"http://h/x"_qs << u"\nAuthorization"_qs
        << u"the header \"Authorization\" is given no text"_qs;
    QTest::newRow("a name taken") << u"Pager"_qs << u"http://h/x"_qs << QString()
                                  << u"another action before it has that name"_qs;
}

void TestActionsPage::webhookAdded()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QFETCH(QString, headers);
    QFETCH(QString, problem);
    ActionRunner runner(
        {}, [] { return now; }, u"recv"_qs);
    std::optional<ActionSettings> applied;
    ActionsPage page(pager(), QString(), runner, [&applied](const ActionSettings &settings) {
        applied = settings;
        return QString();
    });
    QVERIFY(!page.isChanged());
    page.addButton()->click();
    QCOMPARE(page.actionList()->currentRow(), 1);
    QVERIFY(page.problemText().contains(u"names no program"_qs));
    page.nameEdit()->setText(name);
    page.whenBox(ActionRule::Silent)->setChecked(false);
    page.whenBox(ActionRule::Recovered)->setChecked(true);
    page.hostsEdit()->setText(u" db*, ,web-? "_qs);
    page.webhookChoice()->setChecked(true);
    page.webhookEdit()->setText(url);
    page.headersEdit()->setPlainText(headers);
    QVERIFY2(page.problemText().contains(problem), qPrintable(page.problemText()));
    QCOMPARE(page.problemText().isEmpty(), problem.isEmpty());
    QVERIFY(page.isChanged());
    QCOMPARE(page.check().name, problem.isEmpty() ? QString() : u"actionsMistaken"_qs);
    if (!problem.isEmpty())
        return;

    QVERIFY(page.apply().message.isEmpty());
    QVERIFY(!page.isChanged());
    QJsonObject written;
    applied->writeTo(written);
    const QJsonObject chat = QJsonDocument::fromJson(R"({"name": "chat", "when": ["critical",
        "recovered"], "hosts": ["db*", "web-?"], "webhook": "https://h/x",
        "headers": {"Authorization": "Bearer t"}})")
                                 .object();
    QCOMPARE(written[ActionSettings::key][1], chat);
    page.actionList()->setCurrentRow(0);
    QCOMPARE(page.programEdit()->text(), u"/usr/local/bin/page"_qs);
    QCOMPARE(page.argumentsEdit()->toPlainText(), u"--team\nops"_qs);
}

void TestActionsPage::tried()
{
    ActionRunner runner(
        {}, [] { return now; }, u"recv"_qs);
    FakeActions fake;
    fake.outcomes = {{false, false, u"exit 3: out of paper"_qs}};
    runner.setLaunch(fake.launch());
    ActionsPage page(pager(), QString(), runner, [](const ActionSettings &) { return QString(); });
    QCOMPARE(page.resultText(), u"Not run yet."_qs);
    page.tryButton()->click();
    QCOMPARE(fake.said(), QStringList{u"pager: test-host critical"_qs});
    QCOMPARE(page.resultText(), u"failed 14:02:11: exit 3: out of paper"_qs);
    page.tryButton()->click();
    QCOMPARE(page.actionList()->item(0)->text(), u"pager  \u2014  ran 14:02:11, exit 0"_qs);
    // A try is no edit.
    QVERIFY(!page.isChanged());
}

QTEST_MAIN(TestActionsPage)
#include "tst_actionspage.moc"
