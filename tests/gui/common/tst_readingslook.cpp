#include "gui/common/readingslook.h"
#include "gui/mainwindow/placeholderrows.h"
#include "judgedtable.h"

#include <QColor>
#include <QImage>
#include <QTest>

#include <cmath>

namespace {

using Level = LimitState::Level;
using Direction = LimitState::Direction;

double luminance(const QColor &colour)
{
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF())
           + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestReadingsLook final : public QObject
{
    Q_OBJECT

private slots:
    void lookShowsTheState_data();
    void lookShowsTheState();
    void statesStayReadable_data();
    void statesStayReadable();
};

void TestReadingsLook::lookShowsTheState_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QString>("icon"); // up, down, mark or none
    QTest::addColumn<QString>("description");

    const QColor red(0xa3, 0x15, 0x15);
    const QColor amber(0xff, 0xc0, 0x00);
    QTest::newRow("critical above")
        << u"CPU| 97 %"_qs << red << u"up"_qs << u"CPU: critical, above 95 \u00b7 heard "_qs;
    QTest::newRow("warning above")
        << u"CPU|85"_qs << amber << u"up"_qs << u"CPU: warning, above 80 \u00b7 heard "_qs;
    QTest::newRow("critical below")
        << u"Temp|2 C"_qs << red << u"down"_qs << u"Temp: critical, below 5 \u00b7 heard "_qs;
    QTest::newRow("a word") << u"Service|DOWN"_qs << red << u"mark"_qs
                            << u"Service: critical, \"down\" \u00b7 heard "_qs;
    QTest::newRow("normal") << u"CPU|50"_qs << QColor() << u"none"_qs << u"CPU: heard "_qs;
    QTest::newRow("not a number") << u"CPU|n/a"_qs << QColor() << u"none"_qs
                                  << u"CPU: no state: not a number \u00b7 heard "_qs;
}

void TestReadingsLook::lookShowsTheState()
{
    QFETCH(QString, reading);
    QFETCH(QColor, background);
    QFETCH(QString, icon);
    QFETCH(QString, description);
    Judged judged;
    judged.post(u"a|"_qs + reading);
    PlaceholderRows shown(&judged.table);
    shown.setSourceModel(&judged.table);
    const QModelIndex value = shown.index(0, ReadingsTable::firstNameColumn + 1);
    const auto header = [&shown](int role) { return shown.headerData(0, Qt::Vertical, role); };
    QCOMPARE(value.data().toString(), reading.section(u'|', 1));
    QCOMPARE(value.data(Qt::BackgroundRole).value<QColor>(), background);
    QCOMPARE(header(Qt::BackgroundRole).value<QColor>(), background);
    const QImage mark = value.data(Qt::DecorationRole).value<QPixmap>().toImage();
    QCOMPARE(header(Qt::DecorationRole).value<QPixmap>().toImage(), mark);
    // Told apart by shape: an arrow up, the same arrow upside down, or another mark.
    const Level level = background == QColor(0xa3, 0x15, 0x15) ? Level::Critical : Level::Warning;
    const QImage up = ReadingsLook::stateIcon(level, Direction::Above).toImage();
    const QImage down = up.mirrored(false, true);
    QCOMPARE(mark.isNull(), icon == u"none");
    QCOMPARE(mark == up, icon == u"up");
    QCOMPARE(mark == down, icon == u"down");

    const QString described = value.data(Qt::AccessibleDescriptionRole).toString();
    QVERIFY2(described.startsWith(description), qPrintable(described));
    QVERIFY(value.data(Qt::ToolTipRole).toString().contains(described.toHtmlEscaped()));
    // The host's says the same of its worst reading.
    const QString state = description.section(u": "_qs, 1).section(u" \u00b7"_qs, 0, 0);
    const QString host = header(Qt::ToolTipRole).toString();
    QVERIFY(host.contains(background.isValid() ? state.toHtmlEscaped() : u"a: last heard"_qs));
}

void TestReadingsLook::statesStayReadable_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<bool>("overdue");
    QTest::newRow("warning") << u"CPU|85"_qs << false;
    QTest::newRow("warning, overdue") << u"CPU|85"_qs << true;
    QTest::newRow("critical") << u"CPU|97"_qs << false;
    QTest::newRow("critical, overdue") << u"CPU|97"_qs << true;
}

// Readable text on the state's colour, greyed when overdue; a silent reading keeps its state.
void TestReadingsLook::statesStayReadable()
{
    QFETCH(QString, reading);
    QFETCH(bool, overdue);
    Judged judged;
    judged.post(u"a|"_qs + reading + u"; b|CPU|50"_qs);
    judged.clock.seconds = overdue ? 400 : 10;
    judged.table.tick();
    PlaceholderRows shown(&judged.table);
    shown.setSourceModel(&judged.table);
    const auto colour = [&shown](int row, int role) {
        return shown.index(row, ReadingsTable::firstNameColumn + 1).data(role);
    };
    const QColor background = colour(0, Qt::BackgroundRole).value<QColor>();
    const QColor text = colour(0, Qt::ForegroundRole).value<QColor>();
    QVERIFY(background.isValid());
    QVERIFY2(contrast(text, background) >= 4.5,
             qPrintable(QString::number(contrast(text, background))));
    QCOMPARE(text != Qt::black && text != Qt::white, overdue);
    QCOMPARE(colour(1, Qt::ForegroundRole).isValid(), overdue);
}

QTEST_MAIN(TestReadingsLook)
#include "tst_readingslook.moc"
