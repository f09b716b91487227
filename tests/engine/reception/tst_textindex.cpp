#include "engine/reception/textindex.h"

#include <QTest>

class TestTextIndex final : public QObject
{
    Q_OBJECT

private slots:
    void findsWhatWasAdded_data();
    void findsWhatWasAdded();
};

void TestTextIndex::findsWhatWasAdded_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("absent");

    const QString nul(QChar(0));
    QTest::newRow("nothing added") << QStringList() << QStringList{QString(), u"a"_qs};
    QTest::newRow("empty text") << QStringList{QString()} << QStringList{u" "_qs, nul};
    QTest::newRow("case, spaces and tabs count")
        << QStringList{u"Box"_qs, u" CPU"_qs, u"\tCPU"_qs}
        << QStringList{u"box"_qs, u"CPU"_qs, u"CPU "_qs, u"CPU\t"_qs, u" CPU "_qs};
    QTest::newRow("prefixes and lengths around four characters")
        << QStringList{u"a"_qs, u"ab"_qs, u"abc"_qs, u"abcd"_qs, u"abcde"_qs}
        << QStringList{u"b"_qs, u"abd"_qs, u"abcdf"_qs, u"abcdef"_qs, u"ab"_qs + nul};
    QTest::newRow("NUL inside") << QStringList{u"h"_qs + nul + u"1"_qs, u"h"_qs + nul + u"2"_qs}
                                << QStringList{u"h"_qs, u"h"_qs + nul, u"h"_qs + nul + u"3"_qs};
    // Longer than the hash's keys cover, so the keys are used again.
    const QString longText(300, u'x');
    QTest::newRow("texts longer than the keys")
        << QStringList{longText, longText + u'1', longText + u'2'}
        << QStringList{longText.left(299), longText + u'3', u'1' + longText};

    // Kept as Latin-1 where it fits: a character above it must not match its low byte.
    QTest::newRow("Latin-1 and wider")
        << QStringList{u"a\u00acb"_qs, u"\u00e9t\u20ac"_qs, u"\U0001F600"_qs}
        << QStringList{u"a\u20acb"_qs, u"\u00e9t\u00ac"_qs, u"\u00e9t"_qs};
    // More than one block holds, and a text larger than a block.
    QStringList large;
    for (int i = 0; i < 600; ++i)
        large << QString(250, u'x') + QString::number(i);
    large << QString(40000, u'\u20ac') << u"after"_qs;
    QTest::newRow("many blocks") << large << QStringList{QString(250, u'x')};

    for (const int count : {15, 16, 17, 5000}) {
        QStringList added;
        QStringList absent;
        for (int i = 0; i < count; ++i) {
            added << u"host%1"_qs.arg(i);
            absent << u"host%1"_qs.arg(i + count) << u"Host%1"_qs.arg(i);
        }
        QTest::addRow("%d texts", count) << added << absent;
    }
    // Latin-1 texts are hashed again from their bytes when the index grows.
    QStringList latin1;
    for (int i = 0; i < 40; ++i)
        latin1 << u"caf\u00e9 %1 \u00ff"_qs.arg(i);
    QTest::newRow("Latin-1 texts after growing")
        << latin1 << QStringList{u"caf\u00e9 40 \u00ff"_qs};
}

void TestTextIndex::findsWhatWasAdded()
{
    QFETCH(QStringList, added);
    QFETCH(QStringList, absent);
    TextIndex index;
    for (qsizetype i = 0; i < added.size(); ++i) {
        QCOMPARE(index.find(added[i]), -1);
        QCOMPARE(index.insert(added[i]), int(i));
    }
    QCOMPARE(index.size(), int(added.size()));
    // Everything is still found once the index has grown past where it started.
    for (qsizetype i = 0; i < added.size(); ++i) {
        QCOMPARE(index.find(added[i]), int(i));
        QCOMPARE(index.text(int(i)), added[i]);
    }
    for (const QString &text : std::as_const(absent))
        QCOMPARE(index.find(text), -1);
}

QTEST_APPLESS_MAIN(TestTextIndex)
#include "tst_textindex.moc"
