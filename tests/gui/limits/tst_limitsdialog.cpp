#include "engine/monitor/monitor.h"
#include "fakedatagramsocket.h"
#include "gui/limits/limitrulesmodel.h"
#include "gui/limits/limitspage.h"
#include "gui/settings/settingswindow.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

const QByteArray twoRules = R"({"allowedSenders":["10.0.0.0/8"],"limits":[{"reading":"CPU",)"
                            R"("warningAbove":80,"colour":"blue"},{"reading":"Fan"}]})";

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

void press(const SettingsWindow &dialog, QDialogButtonBox::StandardButton which)
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
    void okAppliesCancelDoesNot_data();
    void okAppliesCancelDoesNot();
    void rulesMoveUpAndDown_data();
    void rulesMoveUpAndDown();
    void aFailedWriteIsToldAndTheDialogStays();
    void readingColumnOffersTheNamesHeard();

private:
    // A monitor over a program folder holding Senvo-Net.json with json (none when null),
    // and its settings at the Limits page, on screen.
    void open(const QByteArray &json);
    LimitsPage *page() const { return m_dialog->page<LimitsPage>(); }
    QString filePath() const { return m_program->filePath(u"Senvo-Net.json"_qs); }

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_user;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<SettingsWindow> m_dialog;
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
    m_dialog = std::make_unique<SettingsWindow>(*m_monitor);
    m_dialog->showPage(u"limitsPage"_qs);
    new QAbstractItemModelTester(
        page()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_dialog.get());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
}

void TestLimitsDialog::cellsShowTheFileAndWriteItBack_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<QStringList>("cells"); // Reading to Margin
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("numbers, units and keys of its own")
        << QByteArray(R"({"reading":"Free","warningBelow":"20%","criticalBelow":5.5,"margin":1,)"
                      R"("note":{"by":"ops"}})")
        << QStringList{u"Free"_qs, {}, {}, {}, u"20%"_qs, u"5.5"_qs, {}, {}, {}, u"1"_qs}
        << QByteArray(R"({"criticalBelow":5.5,"margin":1,"note":{"by":"ops"},"reading":"Free",)"
                      R"("warningBelow":"20%"})");
    QTest::newRow("one host pattern, words, after")
        << QByteArray(
               R"({"reading":"Svc","hosts":"db*","criticalText":["down","failed"],"after":3})")
        << QStringList{u"Svc"_qs, u"db*"_qs, {}, {}, {}, {}, {}, u"down, failed"_qs, u"3"_qs, {}}
        << QByteArray(
               R"({"after":3,"criticalText":["down","failed"],"hosts":["db*"],"reading":"Svc"})");
}

void TestLimitsDialog::cellsShowTheFileAndWriteItBack()
{
    QFETCH(QByteArray, rule);
    QFETCH(QStringList, cells);
    QFETCH(QByteArray, written);
    open(R"({"limits":[)" + rule + "]}");
    const QAbstractItemModel *model = page()->view()->model();
    QCOMPARE(model->rowCount(), 1);
    for (int column = 0; column < LimitRulesModel::ColumnCount; ++column)
        QCOMPARE(model->index(0, column).data().toString(), cells[column]);
    QCOMPARE(limitsJson(LimitRules(page()->model()->rules())), '[' + written + ']');
}

void TestLimitsDialog::mistakesAreMarkedAndRefuseOk_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed"); // into the second rule
    QTest::addColumn<QString>("told");

    QTest::newRow("bound") << int(LimitRulesModel::WarningAbove) << u"high"_qs
                           << u"Row 2, Warning above: \"high\" is not a number."_qs;
    QTest::newRow("after of 0") << int(LimitRulesModel::After) << u"0"_qs
                                << u"Row 2, After: \"0\" is not a whole number"_qs;
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
    open(twoRules);
    const QByteArray applied = limitsJson(m_monitor->limits().rules());
    const QModelIndex cell = page()->view()->model()->index(1, column);
    QVERIFY(page()->view()->model()->setData(cell, typed));
    QVERIFY(cell.data(Qt::BackgroundRole).isValid());
    QVERIFY(!page()->view()->model()->index(0, column).data(Qt::BackgroundRole).isValid());
    QVERIFY(!cell.data(Qt::ToolTipRole).toString().isEmpty());

    press(*m_dialog, QDialogButtonBox::Ok);
    QVERIFY(message(*m_dialog, "limitsNotValid"));
    QVERIFY2(message(*m_dialog, "limitsNotValid")->text().contains(told),
             qPrintable(message(*m_dialog, "limitsNotValid")->text()));
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(readBytes(filePath()), twoRules);
    QCOMPARE(limitsJson(m_monitor->limits().rules()), applied);
}

void TestLimitsDialog::okAppliesCancelDoesNot_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QByteArray>("after"); // the file

    QTest::newRow("OK") << int(QDialogButtonBox::Ok)
                        << QByteArray(R"({"allowedSenders":["10.0.0.0/8"],"limits":[{"reading":)"
                                      R"("CPU","warningAbove":80,"criticalAbove":95,"colour":)"
                                      R"("blue"},{"reading":"Temp","criticalBelow":"5 C"}]})");
    QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel) << twoRules;
}

void TestLimitsDialog::okAppliesCancelDoesNot()
{
    QFETCH(int, button);
    QFETCH(QByteArray, after);
    open(twoRules);
    QAbstractItemModel *model = page()->view()->model();
    // Typed into the cell and left open there, as a user does before pressing OK.
    page()->view()->setCurrentIndex(model->index(0, LimitRulesModel::CriticalAbove));
    QTest::keyClick(page()->view(), Qt::Key_9);
    QTest::keyClicks(QApplication::focusWidget(), u"5"_qs);
    page()->view()->selectRow(1);
    page()->removeSelectedRules();
    page()->addRule();
    QTest::keyClicks(QApplication::focusWidget(), u"Temp"_qs);
    model->setData(model->index(1, LimitRulesModel::CriticalBelow), u"5 C"_qs);

    press(*m_dialog, QDialogButtonBox::StandardButton(button));
    QVERIFY(!m_dialog->isVisible());
    if (after == twoRules)
        QCOMPARE(readBytes(filePath()), twoRules);
    QCOMPARE(parsed(readBytes(filePath())), parsed(after));
    QCOMPARE(m_monitor->jsonSettings().object(), parsed(after));
    QCOMPARE(m_monitor->limits().rules().toJson(), parsed(after).value(u"limits").toArray());
}

void TestLimitsDialog::rulesMoveUpAndDown_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("order"); // the readings in the file after OK
    QTest::addColumn<int>("currentAfter");

    QTest::newRow("first down") << 0 << u"moveRuleDown"_qs << u"Fan CPU"_qs << 1;
    QTest::newRow("last up") << 1 << u"moveRuleUp"_qs << u"Fan CPU"_qs << 0;
    QTest::newRow("first up: nowhere to go") << 0 << u"moveRuleUp"_qs << u"CPU Fan"_qs << 0;
    QTest::newRow("last down: nowhere to go") << 1 << u"moveRuleDown"_qs << u"CPU Fan"_qs << 1;
}

void TestLimitsDialog::rulesMoveUpAndDown()
{
    QFETCH(int, current);
    QFETCH(QString, button);
    QFETCH(QString, order);
    QFETCH(int, currentAfter);
    open(twoRules);
    const QAbstractItemModel *model = page()->view()->model();
    page()->view()->setCurrentIndex(model->index(current, LimitRulesModel::Hosts));
    m_dialog->findChild<QPushButton *>(button)->click();
    QCOMPARE(page()->view()->currentIndex().row(), currentAfter);
    QCOMPARE(page()->view()->currentIndex().column(), int(LimitRulesModel::Hosts));

    press(*m_dialog, QDialogButtonBox::Ok);
    QStringList readings;
    for (const QJsonValue rule : parsed(readBytes(filePath())).value(u"limits").toArray()) {
        readings << rule[u"reading"].toString();
        // A rule's keys without a column move with it.
        QCOMPARE(rule[u"colour"].toString(),
                 rule[u"reading"] == u"CPU"_qs ? u"blue"_qs : QString());
    }
    QCOMPARE(readings.join(u' '), order);
}

void TestLimitsDialog::aFailedWriteIsToldAndTheDialogStays()
{
    const QTemporaryDir base;
    m_monitor = std::make_unique<Monitor>(
        SettingsFile(belowAPlainFile(base, u"program"_qs), belowAPlainFile(base, u"user"_qs)),
        nullptr, new FakeDatagramSocket);
    m_dialog = std::make_unique<SettingsWindow>(*m_monitor);
    m_dialog->showPage(u"limitsPage"_qs);
    m_dialog->show();
    QAbstractItemModel *model = page()->view()->model();
    page()->addRule();
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
    page()->addRule();
    auto *editor = page()->view()->findChild<QComboBox *>(u"readingEditor"_qs);
    QVERIFY(editor);
    QStringList offered;
    for (int i = 0; i < editor->count(); ++i)
        offered.append(editor->itemText(i));
    QCOMPARE(offered, (QStringList{u"CPU"_qs, u"Fan"_qs, u"Temp"_qs}));
    QVERIFY(editor->currentText().isEmpty());
    editor->setCurrentIndex(1);
    page()->view()->setCurrentIndex(page()->view()->model()->index(0, 1));
    QCOMPARE(page()->view()->model()->index(0, 0).data().toString(), u"Fan");
}

QTEST_MAIN(TestLimitsDialog)
#include "tst_limitsdialog.moc"
