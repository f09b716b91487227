#include "engine/reception/compacttext.h"

#include <QTest>

class TestCompactText final : public QObject
{
    Q_OBJECT

private slots:
    void keepsTextExactly_data();
    void keepsTextExactly();
};

void TestCompactText::keepsTextExactly_data()
{
    // Texts assigned one after another to the same CompactText, so that storage is reused.
    QTest::addColumn<QStringList>("texts");
    const QString nul(QChar(0));
    QTest::newRow("empty") << QStringList{QString(), u""_qs, u" 1 "_qs, QString()};
    QTest::newRow("ascii, longer and shorter")
        << QStringList{u" 45 "_qs, u" 123456789 "_qs, u" 7 "_qs, QString(300, u'v')};
    QTest::newRow("latin-1 above ascii") << QStringList{u" \u00e9t\u00e9 "_qs, u"\u00ff\u0080"_qs};
    QTest::newRow("wide and back")
        << QStringList{u" 5 \u20ac "_qs, u" 5 "_qs, u"\u0100"_qs, u"\u00ff"_qs, u" \u2066x "_qs};
    QTest::newRow("NUL and lone surrogates")
        << QStringList{u" "_qs + nul + u" "_qs, QString(QChar(0xd800)) + u"a"_qs, u"\U0001F600"_qs};
}

void TestCompactText::keepsTextExactly()
{
    QFETCH(QStringList, texts);
    CompactText text;
    QCOMPARE(text.toString(), QString());
    for (const QString &expected : std::as_const(texts)) {
        text.assign(expected);
        QCOMPARE(text.toString(), expected);
        // A copy holds the same text; assigning to it must leave the original as it was.
        CompactText copy = text;
        QCOMPARE(copy.toString(), expected);
        copy.assign(u"other"_qs);
        QCOMPARE(text.toString(), expected);
        QCOMPARE(copy.toString(), u"other"_qs);
    }
}

QTEST_APPLESS_MAIN(TestCompactText)
#include "tst_compacttext.moc"
