#include "app/monitor.h"
#include "fakedatagramsocket.h"
#include "limits/limitrulesmodel.h"
#include "limits/limitsdialog.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

QJsonObject parsed(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray limitsJson(const LimitRules &rules)
{
    return QJsonDocument(rules.toJson()).toJson(QJsonDocument::Compact);
}

QMessageBox *message(const QWidget &dialog, const char *name)
{
    return dialog.findChild<QMessageBox *>(QString::fromLatin1(name));
}

void press(const LimitsDialog &dialog, QDialogButtonBox::StandardButton which)
{
    dialog.findChild<QDialogButtonBox *>()->button(which)->click();
}

} // namespace

class TestLimitsDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cellsShowTheFileAndWriteItBack_data();
    void cellsShowTheFileAndWriteItBack();
    void mistakesAreMarkedAndRefuseOk_data();
    void mistakesAreMarkedAndRefuseOk();
    void okWritesTheFileAndApplies();
    void cancelChangesNothing();
    void aFailedWriteIsToldAndTheDialogStays();
    void readingColumnOffersTheNamesHeard();
    void whatOkWouldReplaceIsSaid_data();
    void whatOkWouldReplaceIsSaid();

private:
    // A monitor over a program folder holding Senvo-Net.json with json (none when null),
    // and its dialog, on screen.
    void open(const QByteArray &json);
    QString filePath() const { return m_program->filePath(u"Senvo-Net.json"_qs); }

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<LimitsDialog> m_dialog;
};

void TestLimitsDialog::init()
{
    m_dialog.reset();
    m_monitor.reset();
    m_program = std::make_unique<QTemporaryDir>();
    m_user = std::make_unique<QTemporaryDir>();
}

void TestLimitsDialog::open(const QByteArray &json)
{
    if (!json.isNull() && !writeBytes(filePath(), json))
        qFatal("cannot write the limits file for the test");
    m_monitor = std::make_unique<Monitor>(SettingsFile(m_program->path(), m_user->path()), nullptr,
                                          new FakeDatagramSocket);
    m_dialog = std::make_unique<LimitsDialog>(*m_monitor);
    new QAbstractItemModelTester(
        m_dialog->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_dialog.get());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
}

void TestLimitsDialog::cellsShowTheFileAndWriteItBack_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<QStringList>("cells"); // Reading to Margin
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("numbers and units")
        << QByteArray(R"({"reading":"Free","warningBelow":"20%","criticalBelow":5.5,"margin":1})")
        << QStringList{u"Free"_qs, {}, {}, {}, u"20%"_qs, u"5.5"_qs, {}, {}, {}, u"1"_qs}
        << QByteArray(R"({"criticalBelow":5.5,"margin":1,"reading":"Free","warningBelow":"20%"})");
    QTest::newRow("one host pattern, words, after")
        << QByteArray(
               R"({"reading":"Svc","hosts":"db*","criticalText":["down","failed"],"after":3})")
        << QStringList{u"Svc"_qs, u"db*"_qs, {}, {}, {}, {}, {}, u"down, failed"_qs, u"3"_qs, {}}
        << QByteArray(
               R"({"after":3,"criticalText":["down","failed"],"hosts":["db*"],"reading":"Svc"})");
    QTest::newRow("keys of its own kept")
        << QByteArray(R"({"reading":"CPU","criticalAbove":"3.2G","note":{"by":"ops"}})")
        << QStringList{u"CPU"_qs, {}, {}, u"3.2G"_qs, {}, {}, {}, {}, {}, {}}
        << QByteArray(R"({"criticalAbove":"3.2G","note":{"by":"ops"},"reading":"CPU"})");
}

void TestLimitsDialog::cellsShowTheFileAndWriteItBack()
{
    QFETCH(QByteArray, rule);
    QFETCH(QStringList, cells);
    QFETCH(QByteArray, written);
    open(R"({"limits":[)" + rule + "]}");
    const QAbstractItemModel *model = m_dialog->view()->model();
    QCOMPARE(model->rowCount(), 1);
    for (int column = 0; column < LimitRulesModel::ColumnCount; ++column)
        QCOMPARE(model->index(0, column).data().toString(), cells[column]);
    QCOMPARE(limitsJson(LimitRules(m_dialog->model()->rules())), '[' + written + ']');
}

void TestLimitsDialog::mistakesAreMarkedAndRefuseOk_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed"); // into the second rule
    QTest::addColumn<QString>("told");

    QTest::newRow("bound") << int(LimitRulesModel::WarningAbove) << u"high"_qs
                           << u"Row 2, Warning above: \"high\" is not a number."_qs;
    QTest::newRow("bound of a sign alone")
        << int(LimitRulesModel::CriticalBelow) << u"-"_qs << u"Row 2, Critical below"_qs;
    QTest::newRow("after of 0") << int(LimitRulesModel::After) << u"0"_qs
                                << u"Row 2, After: \"0\" is not a whole number"_qs;
    QTest::newRow("after of a fraction")
        << int(LimitRulesModel::After) << u"1.5"_qs << u"Row 2, After"_qs;
    QTest::newRow("margin with a unit")
        << int(LimitRulesModel::Margin) << u"5%"_qs << u"Row 2, Margin"_qs;
    QTest::newRow("no reading") << int(LimitRulesModel::Reading) << u"  "_qs
                                << u"Row 2, Reading: every rule needs the name of a reading."_qs;
}

void TestLimitsDialog::mistakesAreMarkedAndRefuseOk()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, told);
    const QByteArray file = R"({"limits":[{"reading":"CPU","warningAbove":80},{"reading":"Fan"}]})";
    open(file);
    const QByteArray applied = limitsJson(m_monitor->limits().rules());
    const QModelIndex cell = m_dialog->view()->model()->index(1, column);
    QVERIFY(m_dialog->view()->model()->setData(cell, typed));
    QVERIFY(cell.data(Qt::BackgroundRole).isValid());
    QVERIFY(!m_dialog->view()->model()->index(0, column).data(Qt::BackgroundRole).isValid());
    QVERIFY(!cell.data(Qt::ToolTipRole).toString().isEmpty());

    press(*m_dialog, QDialogButtonBox::Ok);
    QVERIFY(message(*m_dialog, "limitsNotValid"));
    QVERIFY2(message(*m_dialog, "limitsNotValid")->text().contains(told),
             qPrintable(message(*m_dialog, "limitsNotValid")->text()));
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(readBytes(filePath()), file);
    QCOMPARE(limitsJson(m_monitor->limits().rules()), applied);
}

void TestLimitsDialog::okWritesTheFileAndApplies()
{
    open(R"({"allowedSenders":["10.0.0.0/8"],"limits":[{"reading":"CPU","warningAbove":80,)"
         R"("colour":"blue"},{"reading":"Fan"}]})");
    QAbstractItemModel *model = m_dialog->view()->model();
    // Typed into the cell and left open there, as a user does before pressing OK.
    m_dialog->view()->setCurrentIndex(model->index(0, LimitRulesModel::CriticalAbove));
    QTest::keyClick(m_dialog->view(), Qt::Key_9);
    QTest::keyClicks(QApplication::focusWidget(), u"5"_qs);
    m_dialog->view()->selectRow(1);
    m_dialog->removeSelectedRules();
    m_dialog->addRule();
    const int added = model->rowCount() - 1;
    QCOMPARE(added, 1);
    QTest::keyClicks(QApplication::focusWidget(), u"Temp"_qs);
    model->setData(model->index(added, LimitRulesModel::CriticalBelow), u"5 C"_qs);

    press(*m_dialog, QDialogButtonBox::Ok);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(parsed(readBytes(filePath())),
             parsed(R"({"allowedSenders":["10.0.0.0/8"],"limits":[{"reading":"CPU",)"
                    R"("warningAbove":80,"criticalAbove":95,"colour":"blue"},)"
                    R"({"reading":"Temp","criticalBelow":"5 C"}]})"));
    const LimitRules &rules = m_monitor->limits().rules();
    QCOMPARE(rules.rules().size(), 2);
    QCOMPARE(rules.rules()[0].criticalAbove->value, 95);
    QCOMPARE(rules.rules()[1].reading, u"Temp");
    QCOMPARE(m_monitor->jsonSettings().object(), parsed(readBytes(filePath())));
}

void TestLimitsDialog::cancelChangesNothing()
{
    const QByteArray file = R"({"limits":[{"reading":"CPU","warningAbove":80}]})";
    open(file);
    QAbstractItemModel *model = m_dialog->view()->model();
    model->setData(model->index(0, LimitRulesModel::WarningAbove), u"60"_qs);
    m_dialog->addRule();
    press(*m_dialog, QDialogButtonBox::Cancel);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(readBytes(filePath()), file);
    QCOMPARE(limitsJson(m_monitor->limits().rules()),
             QByteArray(R"([{"reading":"CPU","warningAbove":80}])"));
}

void TestLimitsDialog::aFailedWriteIsToldAndTheDialogStays()
{
    const QTemporaryDir base;
    m_monitor = std::make_unique<Monitor>(
        SettingsFile(belowAPlainFile(base, u"program"_qs), belowAPlainFile(base, u"user"_qs)),
        nullptr, new FakeDatagramSocket);
    m_dialog = std::make_unique<LimitsDialog>(*m_monitor);
    m_dialog->show();
    QAbstractItemModel *model = m_dialog->view()->model();
    m_dialog->addRule();
    model->setData(model->index(0, LimitRulesModel::Reading), u"CPU"_qs);
    press(*m_dialog, QDialogButtonBox::Ok);
    QVERIFY(message(*m_dialog, "limitsNotSaved"));
    QVERIFY(m_dialog->isVisible());
    QVERIFY(m_monitor->limits().rules().rules().isEmpty());
    QCOMPARE(model->rowCount(), 1);
}

void TestLimitsDialog::readingColumnOffersTheNamesHeard()
{
    open({});
    for (const char *name : {" Temp ", "CPU", "Fan", "CPU"})
        m_monitor->table().fillgrid(
            {{}, u"Jun 10"_qs, u"19:35:00"_qs, u"h1"_qs, QString::fromLatin1(name), u"1"_qs});
    m_monitor->receiver().publish();
    m_dialog->addRule();
    auto *editor = m_dialog->view()->findChild<QComboBox *>(u"readingEditor"_qs);
    QVERIFY(editor);
    QStringList offered;
    for (int i = 0; i < editor->count(); ++i)
        offered.append(editor->itemText(i));
    QCOMPARE(offered, (QStringList{u"CPU"_qs, u"Fan"_qs, u"Temp"_qs}));
    QVERIFY(editor->currentText().isEmpty());
    editor->setCurrentIndex(1);
    m_dialog->view()->setCurrentIndex(m_dialog->view()->model()->index(0, 1));
    QCOMPARE(m_dialog->view()->model()->index(0, 0).data().toString(), u"Fan");
}

void TestLimitsDialog::whatOkWouldReplaceIsSaid_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("said"); // empty: nothing

    QTest::newRow("no file") << QByteArray() << QString();
    QTest::newRow("rules") << QByteArray(R"({"limits":[{"reading":"CPU"}]})") << QString();
    QTest::newRow("not JSON") << QByteArray("{\"limits\": [}")
                              << u"could not be read when Senvo-Net started (line 1, column "_qs;
    QTest::newRow("limits not a list")
        << QByteArray(R"({"limits":{"reading":"CPU"}})") << u"is not a list"_qs;
}

void TestLimitsDialog::whatOkWouldReplaceIsSaid()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, said);
    open(json);
    const auto *note = m_dialog->findChild<QLabel *>(u"limitsNote"_qs);
    QCOMPARE(note != nullptr, !said.isEmpty());
    if (note)
        QVERIFY2(note->text().contains(said) && note->text().contains(filePath()),
                 qPrintable(note->text()));
}

QTEST_MAIN(TestLimitsDialog)
#include "tst_limitsdialog.moc"
