#include "engine/limits/limitrules.h"
#include "engine/limits/limitstate.h"
#include "engine/reception/valuenumber.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QJsonObject object(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

LimitRules rulesFrom(const char *limits)
{
    return LimitRules(object(uR"({"limits": )"_qs + QString::fromUtf8(limits) + u'}'));
}

// The effective keys in one line, "none" when no rule names the reading.
QString summary(LimitRules &rules, const QString &host, const QString &reading)
{
    const int id = rules.resolve(host, reading);
    if (id == LimitRules::none)
        return u"none"_qs;
    const LimitRule &limits = rules.effective(id);
    QStringList keys;
    const auto add = [&](const char *name, const std::optional<LimitRule::Bound> &bound) {
        if (bound)
            keys.append(QLatin1StringView(name) + bound->text);
    };
    add("w>", limits.warningAbove);
    add("c>", limits.criticalAbove);
    add("w<", limits.warningBelow);
    if (limits.after)
        keys.append(u"after%1"_qs.arg(*limits.after));
    return keys.join(u' ');
}

} // namespace

class TestLimits final : public QObject
{
    Q_OBJECT

private slots:
    void valueNumber_data();
    void valueNumber();
    void precedence_data();
    void precedence();
    void sameLimitsShareAnId();
    void fileErrors_data();
    void fileErrors();
    void writeBackKeepsWhatItDoesNotKnow();
    void sequence_data();
    void sequence();
};

void TestLimits::valueNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("degrees, as the table shows") << u" 45 C "_qs << true << 45.0 << u"C"_qs;
    QTest::newRow("percent, no space") << u"97%"_qs << true << 97.0 << u"%"_qs;
    QTest::newRow("decimals") << u"0.05 load"_qs << true << 0.05 << u"load"_qs;
    QTest::newRow("rate") << u"900 kB/s"_qs << true << 900.0 << u"kB/s"_qs;
    QTest::newRow("negative") << u"-12.5C"_qs << true << -12.5 << u"C"_qs;
    QTest::newRow("G multiplier") << u"3.2G"_qs << true << 3.2e9 << QString();
    QTest::newRow("multiplier before a unit") << u"5MB"_qs << true << 5e6 << u"B"_qs;
    QTest::newRow("after a space, a unit") << u"5 MB"_qs << true << 5.0 << u"MB"_qs;
    QTest::newRow("r is no multiplier") << u"1200rpm"_qs << true << 1200.0 << u"rpm"_qs;
    QTest::newRow("no exponent") << u"1e3"_qs << true << 1.0 << u"e3"_qs;
    QTest::newRow("leading zeros are not digits a double must hold")
        << u"00000000000000000001.25 V"_qs << true << 1.25 << u"V"_qs;
    QTest::newRow("more digits than a double holds")
        << u"123456789012345678901"_qs << true << 123456789012345678901.0 << QString();
    QTest::newRow("a word") << u"down"_qs << false << 0.0 << QString();
    QTest::newRow("empty") << QString() << false << 0.0 << QString();
    QTest::newRow("a sign alone") << u"- 5"_qs << false << 0.0 << QString();
    QTest::newRow("no digit before the dot") << u".5"_qs << false << 0.0 << QString();
}

void TestLimits::valueNumber()
{
    QFETCH(QString, text);
    const ValueNumber number = ValueNumber::read(text);
    QTEST(number.ok, "ok");
    if (number.ok) {
        // Exact: the same double a full parser would make.
        QTEST(number.value, "value");
        QTEST(number.unit.toString(), "unit");
    }
}

void TestLimits::precedence_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("limits");
    const QString plain = u"w>80 c>95 w<5% after3"_qs;
    QTest::newRow("no pattern matches") << u"web1"_qs << u"CPU"_qs << plain;
    QTest::newRow("first host rule first")
        << u"db01"_qs << u"CPU"_qs << u"w>90 c>99 w<5% after2"_qs;
    QTest::newRow("case ignored, key by key")
        << u"DB1X"_qs << u"CPU"_qs << u"w>80 c>99 w<5% after2"_qs;
    QTest::newRow("? is one character")
        << u"backup7"_qs << u"CPU"_qs << u"w>80 c>99 w<5% after3"_qs;
    QTest::newRow("? is not two") << u"backup12"_qs << u"CPU"_qs << plain;
    QTest::newRow("pattern is whole, dots literal") << u"mailXhost"_qs << u"CPU"_qs << plain;
    QTest::newRow("host rule alone") << u"web1"_qs << u"Temp"_qs << u"c>70"_qs;
    QTest::newRow("host rule alone, other host") << u"mail"_qs << u"Temp"_qs << u"none"_qs;
    QTest::newRow("names match with case") << u"db01"_qs << u"cpu"_qs << u"none"_qs;
    QTest::newRow("surrounding spaces") << u"db01"_qs << u" CPU "_qs << u"w>90 c>99 w<5% after2"_qs;
    QTest::newRow("bad rule not applied") << u"db01"_qs << u"Fan"_qs << u"none"_qs;
}

void TestLimits::precedence()
{
    LimitRules rules = rulesFrom(R"([
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95, "after": 3},
        {"reading": "CPU", "hosts": ["db*", "backup?"], "criticalAbove": 99},
        {"reading": "CPU", "hosts": "DB0?", "warningAbove": 90},
        {"reading": "CPU", "hosts": ["db*"], "criticalAbove": 50, "after": 2},
        {"reading": "CPU", "hosts": "mail.host", "criticalAbove": 1},
        {"reading": "Temp", "hosts": "web*", "criticalAbove": 70},
        {"reading": "CPU", "warningAbove": 10},
        {"reading": "CPU", "warningBelow": "5%"},
        {"reading": "Fan", "warningAbove": "fast"}
    ])");
    QFETCH(QString, host);
    QFETCH(QString, reading);
    QTEST(summary(rules, host, reading), "limits");
}

void TestLimits::sameLimitsShareAnId()
{
    LimitRules rules = rulesFrom(R"([{"reading": "CPU", "warningAbove": 80},
                                     {"reading": "CPU", "hosts": "db*", "criticalAbove": 99}])");
    QCOMPARE(rules.resolve(u"db01", u"CPU"), rules.resolve(u"db02", u"CPU"));
    QCOMPARE(rules.resolve(u"web1", u"CPU"), rules.resolve(u"web2", u"CPU"));
    QVERIFY(rules.resolve(u"db01", u"CPU") != rules.resolve(u"web1", u"CPU"));
    QVERIFY(rules.covers(u"CPU"));
    QVERIFY(!rules.covers(u"Memory"));
}

void TestLimits::fileErrors_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("applied"); // of CPU and Temp
    QTest::newRow("bound not a number")
        << uR"({"limits": [{"reading": "CPU", "warningAbove": "abc"},
                           {"reading": "Temp", "criticalAbove": true}]})"_qs
        << QStringList{uR"(rule 1: "warningAbove" is not a number: "abc")"_qs,
                       uR"(rule 2: "criticalAbove" is not a number: true)"_qs}
        << QStringList();
    QTest::newRow("rule without reading, sound one kept")
        << uR"({"limits": [{"warningAbove": 1}, {"reading": " ", "warningAbove": 1},
                           {"reading": "Temp", "criticalAbove": 85}]})"_qs
        << QStringList{uR"(rule 1 has no "reading")"_qs, uR"(rule 2 has no "reading")"_qs}
        << QStringList{u"Temp"_qs};
    QTest::newRow("other keys with wrong values")
        << uR"({"limits": [{"reading": "CPU", "after": 1.5}, {"reading": "CPU", "margin": "2%"},
                           {"reading": "CPU", "hosts": 5}, 7]})"_qs
        << QStringList{uR"(rule 1: "after" is not a whole number from 1 to 1000: 1.5)"_qs,
                       uR"(rule 2: "margin" is not a number of 0 or more without a unit: "2%")"_qs,
                       uR"(rule 3: "hosts" is not a host pattern or a list of them: 5)"_qs,
                       uR"(rule 4 is not an object ({ ... }))"_qs}
        << QStringList();
    QTest::newRow("limits not a list")
        << uR"({"limits": {"reading": "CPU"}})"_qs
        << QStringList{uR"("limits" is not a list ([ ... ]))"_qs} << QStringList();
    QTest::newRow("sound")
        << uR"({"limits": [{"reading": "CPU", "hosts": "db*", "warningAbove": "80%", "after": 2,
                            "margin": 1.5, "criticalText": "down"}, {"reading": "Temp"}]})"_qs
        << QStringList() << QStringList{u"CPU"_qs, u"Temp"_qs};
}

void TestLimits::fileErrors()
{
    QFETCH(QString, file);
    const LimitRules rules(object(file));
    QTEST(rules.errors(), "errors");
    QFETCH(QStringList, applied);
    for (const QString &reading : {u"CPU"_qs, u"Temp"_qs})
        QCOMPARE(rules.covers(reading), applied.contains(reading));
}

void TestLimits::writeBackKeepsWhatItDoesNotKnow()
{
    // As written back, apart from "95" that becomes the number it is.
    const QString rules = uR"([
            {"reading": "CPU", "warningAbove": 80, "criticalAbove": %1, "comment": "per core"},
            {"reading": "Disk", "hosts": ["db*", "backup?"], "criticalAbove": "3.2G",
             "warningBelow": "20%", "after": 2, "margin": 0.5},
            {"reading": "Fan", "warningAbove": "fast", "note": [1, 2]},
            {"reading": "Service", "warningText": ["degraded"], "criticalText": ["down", "failed"]}
        ])"_qs;
    const auto file = [&](const char *critical) {
        return object(uR"({"other": [1], "limits": )"_qs + rules.arg(QLatin1StringView(critical))
                      + u'}');
    };
    QJsonObject written = file("\"95\"");
    LimitRules(written).writeTo(written);
    QCOMPARE(written, file("95"));

    // Rules as an editor changes them are checked like the file's.
    QList<LimitRule> edited = LimitRules(written).rules();
    edited[0].warningAbove = LimitRule::Bound::fromText(u"x80"_qs);
    const LimitRules checked(edited);
    QCOMPARE(checked.errors(),
             QStringList({uR"(rule 1: "warningAbove" is not a number: "x80")"_qs,
                          uR"(rule 3: "warningAbove" is not a number: "fast")"_qs}));
    QVERIFY(checked.isApplied(1));
    QVERIFY(!checked.isApplied(0));
}

void TestLimits::sequence_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("values"); // separated by |
    QTest::addColumn<QString>("states"); // after each value; empty when normal
    QTest::newRow("strictly beyond")
        << u"CPU"_qs << u"80|80.1|95|96 %"_qs
        << u"|warning, above 80|warning, above 80|critical, above 95"_qs;
    QTest::newRow("default margin, 5 % of the bound")
        << u"CPU"_qs << u"81|76.1|76|79"_qs << u"warning, above 80|warning, above 80||"_qs;
    QTest::newRow("critical clears to warning")
        << u"CPU"_qs << u"96|90.3|90.2|75"_qs
        << u"critical, above 95|critical, above 95|warning, above 80|"_qs;
    QTest::newRow("margin given") << u"Margin"_qs << u"81|79.5|79"_qs
                                  << u"warning, above 80|warning, above 80|"_qs;
    QTest::newRow("after 3, in a row")
        << u"After3"_qs << u"90|90|50|90|90|90|70"_qs << u"|||||warning, above 80|"_qs;
    QTest::newRow("after: critical counts as warning")
        << u"After2"_qs << u"96|85|96|96"_qs
        << u"|warning, above 80|warning, above 80|critical, above 95"_qs;
    QTest::newRow("after: the other side starts afresh")
        << u"Sides"_qs << u"90|10|10"_qs << u"||warning, below 20"_qs;
    QTest::newRow("below, with a unit")
        << u"Free"_qs << u"50 %|19%|9 %|30 %"_qs << u"|warning, below 20%|critical, below 10%|"_qs;
    QTest::newRow("other unit, not a number")
        << u"Free"_qs << u"5 GB|n/a|15%"_qs
        << u"no state: unit % expected|no state: not a number|warning, below 20%"_qs;
    QTest::newRow("unit ignores case, bound without unit takes any")
        << u"Temp"_qs << u"86 c|75 rpm"_qs << u"critical, above 85C|warning, above 70"_qs;
    QTest::newRow("led by spaces other than blanks")
        << u"CPU"_qs << u"\u00a096|\n81 %"_qs << u"critical, above 95|warning, above 80"_qs;
    QTest::newRow("words") << u"Service"_qs << u"up| DOWN |Degraded|ok"_qs
                           << uR"(|critical, "down"|warning, "degraded"|)"_qs;
    QTest::newRow("words and bounds")
        << u"Link"_qs << u"down|12|up"_qs
        << uR"(critical, "down"|critical, above 10|no state: not a number)"_qs;
}

void TestLimits::sequence()
{
    LimitRules rules = rulesFrom(R"([
        {"reading": "CPU", "warningAbove": 80, "criticalAbove": 95},
        {"reading": "Margin", "warningAbove": 80, "margin": 1},
        {"reading": "After3", "warningAbove": 80, "after": 3},
        {"reading": "After2", "warningAbove": 80, "criticalAbove": 95, "after": 2},
        {"reading": "Sides", "warningAbove": 80, "warningBelow": 20, "after": 2},
        {"reading": "Free", "warningBelow": "20%", "criticalBelow": "10%"},
        {"reading": "Temp", "criticalAbove": "85C", "warningAbove": 70},
        {"reading": "Service", "warningText": "degraded", "criticalText": ["down", "failed"]},
        {"reading": "Link", "criticalText": "down", "criticalAbove": 10}
    ])");
    QCOMPARE(rules.errors(), QStringList());
    QFETCH(QString, reading);
    QFETCH(QString, values);
    const int id = rules.resolve(u"host", reading);
    const LimitRule &limits = rules.effective(id);
    LimitState state;
    QStringList seen;
    for (const QString &value : values.split(u'|')) {
        const auto shown = [&] {
            return std::tuple(state.level(), state.direction(), state.reason());
        };
        const auto before = shown();
        const bool changed = state.update(rules.judge(id), value);
        QCOMPARE(changed, shown() != before);
        seen.append(state.description(limits, value));
    }
    QTEST(seen.join(u'|'), "states");
}

QTEST_APPLESS_MAIN(TestLimits)
#include "tst_limits.moc"
