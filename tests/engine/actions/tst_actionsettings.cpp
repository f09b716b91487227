#include "engine/actions/actionsettings.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

// The "actions" list of Senvo-Net.json: what each action is, its mistakes in plain words, and
// the file it may come from.
class TestActionSettings final : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void writtenAsRead();
    void whoMayWriteTheFile_data();
    void whoMayWriteTheFile();
};

void TestActionSettings::read_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("inForce"); // the names of the sound actions
    QTest::addColumn<QString>("errors");      // joined by " | "

    QTest::newRow("a program and a webhook")
        << QByteArray(R"([{"name": "pager", "when": ["critical", "silent"], "hosts": ["db*"],
            "run": ["/usr/local/bin/page", "--team", "ops"]}, {"name": "chat", "when": "Recovered",
            "webhook": "https://ntfy.example/senvo", "headers": {"Authorization": "Bearer x"}}])")
        << QStringList{u"pager"_qs, u"chat"_qs} << QString();
    QTest::newRow("a word when does not know, the sound one still runs")
        << QByteArray(R"([{"name": "a", "when": ["critical", "often"], "run": ["x"]},
                          {"name": "b", "run": ["y"]}])")
        << QStringList{u"b"_qs}
        << u"action 1 \"a\": \"when\" holds \"often\", which is none of critical, warning, silent "
           "and recovered"_qs;
    QTest::newRow("both, neither")
        << QByteArray(R"([{"name": "a", "run": ["x"], "webhook": "http://h/"}, {"name": "b"}])")
        << QStringList()
        << u"action 1 \"a\": it has both \"run\" and \"webhook\": give one of them | action 2 "
           "\"b\": it has neither \"run\" nor \"webhook\": give one of them"_qs;
    QTest::newRow("a webhook that is not http")
        << QByteArray(R"([{"name": "a", "webhook": "ftp://h/x"}, {"name": "b", "webhook": "h"}])")
        << QStringList()
        << u"action 1 \"a\": \"webhook\" is not an http:// or https:// address: \"ftp://h/x\" | "
           "action 2 \"b\": \"webhook\" is not an http:// or https:// address: \"h\""_qs;
    QTest::newRow("an empty run, a run as one line")
        << QByteArray(R"([{"name": "a", "run": []}, {"name": "b", "run": "page --team ops"}])")
        << QStringList()
        << u"action 1 \"a\": \"run\" names no program: the program comes first, then its "
           "arguments | action 2 \"b\": \"run\" is not a list of the program and its arguments, "
           "such as [\"/usr/local/bin/page\", \"--team\", \"ops\"]: \"page --team ops\""_qs;
    QTest::newRow("no name, a name twice, nothing chosen")
        << QByteArray(R"([{"run": ["x"]}, {"name": "a", "run": ["x"]}, {"name": "A", "run": ["y"]},
                          {"name": "c", "when": [], "run": ["x"]}, 5])")
        << QStringList{u"a"_qs}
        << u"action 1: it has no \"name\", which its results are shown by | action 3 \"A\": "
           "another action before it has that name | action 4 \"c\": \"when\" is empty, so the "
           "action would never run | action 5 is not an object ({ ... })"_qs;
    QTest::newRow("headers without a webhook, a header on two lines")
        << QByteArray(R"([{"name": "a", "run": ["x"], "headers": {}},
                          {"name": "b", "webhook": "http://h/", "headers": {"X": "1\r\nY: 2"}}])")
        << QStringList()
        << u"action 1 \"a\": \"headers\" go with a \"webhook\" only | action 2 \"b\": the header "
           "\"X\" is not one line of text: \"1\r\nY: 2\""_qs;
    QTest::newRow("not a list") << QByteArray(R"({"name": "a"})") << QStringList()
                                << u"\"actions\" is not a list ([ ... ]), so no action runs"_qs;
}

void TestActionSettings::read()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, inForce);
    QFETCH(QString, errors);

    const QJsonDocument document = QJsonDocument::fromJson(json);
    QJsonObject root{{u"other"_qs, 1}};
    root.insert(ActionSettings::key,
                document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()));
    const ActionSettings settings = ActionSettings::fromObject(root);
    QStringList names;
    for (const ActionRule &rule : settings.sound())
        names.append(rule.name);
    QCOMPARE(names, inForce);
    QCOMPARE(settings.errors().join(u" | "_qs), errors);
}

// What the program does not understand, or an action with a mistake, goes back as it came.
void TestActionSettings::writtenAsRead()
{
    const QJsonArray list = QJsonDocument::fromJson(R"([
        {"name": "pager", "when": ["critical", "silent"], "hosts": ["db*"], "run": ["p", "-x"],
         "later": {"a": 1}},
        {"name": "chat", "when": ["warning", "recovered"], "webhook": "https://h/x?y=1",
         "headers": {"Authorization": "Bearer x"}},
        {"name": "odd", "when": "sometimes", "run": ["z"]}])")
                                .array();
    const ActionSettings settings = ActionSettings::fromObject({{ActionSettings::key, list}});
    QJsonObject written{{u"other"_qs, 1}};
    settings.writeTo(written);
    QCOMPARE(written, (QJsonObject{{u"other"_qs, 1}, {ActionSettings::key, list}}));
    ActionSettings().writeTo(written);
    QCOMPARE(written, (QJsonObject{{u"other"_qs, 1}}));
}

void TestActionSettings::whoMayWriteTheFile_data()
{
    QTest::addColumn<int>("permissions");
    QTest::addColumn<bool>("refused");
    QTest::newRow("its owner") << int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther)
                               << false;
    QTest::newRow("its group") << int(QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup)
                               << true;
    QTest::newRow("everyone") << int(QFile::ReadOwner | QFile::WriteOwner | QFile::WriteOther)
                              << true;
}

void TestActionSettings::whoMayWriteTheFile()
{
#ifndef Q_OS_LINUX
    QSKIP("the permissions of others are a Linux file's");
#endif
    QFETCH(int, permissions);
    QFETCH(bool, refused);
    const QTemporaryDir folder;
    const QString path = folder.filePath(u"Senvo-Net.json"_qs);
    QVERIFY(writeBytes(path, "{}"));
    QVERIFY(QFile::setPermissions(path, QFile::Permissions(permissions)));
    const QString why = ActionSettings::unsafeFile(path);
    QCOMPARE(why.contains(path), refused);
    QVERIFY(ActionSettings::makeSafe(path));
    QVERIFY(ActionSettings::unsafeFile(path).isEmpty());
    QVERIFY(QFileInfo(path).permissions().testFlag(QFile::WriteOwner));
}

QTEST_GUILESS_MAIN(TestActionSettings)
#include "tst_actionsettings.moc"
