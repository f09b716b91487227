#include "historycsv.h"

#include "engine/tablefile/csvtable.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

// The header, then the columns merged by time: each line takes the next moment any column
// has. timeOf(item) gives an item's time; appendFields(line, item) its fields, and
// appendFields(line, nullptr) as many empty ones.
template<class Item, class ItemsOf, class AppendFields>
QByteArray merged(const QString &header, size_t columnCount, ItemsOf itemsOf,
                  AppendFields appendFields)
{
    QString text = header + u"\r\n"_qs;
    std::vector<size_t> next(columnCount, 0);
    for (;;) {
        qint64 time = std::numeric_limits<qint64>::max();
        bool any = false;
        for (size_t c = 0; c < columnCount; ++c) {
            if (const std::vector<Item> &items = itemsOf(c); next[c] < items.size()) {
                time = std::min(time, items[next[c]].timeMs);
                any = true;
            }
        }
        if (!any)
            break;
        text += HistoryCsv::isoTime(QDateTime::fromMSecsSinceEpoch(time));
        for (size_t c = 0; c < columnCount; ++c) {
            const std::vector<Item> &items = itemsOf(c);
            const bool here = next[c] < items.size() && items[next[c]].timeMs == time;
            appendFields(text, here ? &items[next[c]++] : nullptr);
        }
        text += u"\r\n"_qs;
    }
    return QByteArray(CsvTable::byteOrderMark) + text.toUtf8();
}

} // namespace

QString HistoryCsv::isoTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    // With the offset written out, "+00:00" rather than "Z" included, so that every line
    // reads the same way.
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(u"yyyy-MM-ddThh:mm:ss.zzz"_qs) + (offset < 0 ? u'-' : u'+')
           + u"%1:%2"_qs.arg(minutes / 60, 2, 10, QChar(u'0'))
                 .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString HistoryCsv::number(float value)
{
    return QString::number(double(value), 'g', std::numeric_limits<float>::digits10 + 1);
}

QByteArray HistoryCsv::write(const std::vector<Column> &columns)
{
    // Column names for programs that read the file: never translated.
    QString header = u"Time"_qs;
    for (const Column &column : columns) {
        header += u',';
        CsvTable::appendField(header, column.title);
    }
    return merged<HistoryArchive::Point>(
        header, columns.size(), [&columns](size_t c) -> auto & { return columns[c].points; },
        [](QString &line, const HistoryArchive::Point *point) {
            line += u',';
            if (point)
                line += number(point->value);
        });
}

QByteArray HistoryCsv::writeRollups(const std::vector<RollupColumn> &columns)
{
    QString header = u"Time"_qs;
    for (const RollupColumn &column : columns) {
        for (const QStringView figure : {u" lowest", u" highest", u" average"}) {
            header += u',';
            CsvTable::appendField(header, column.title + figure.toString());
        }
    }
    return merged<Rollup>(
        header, columns.size(), [&columns](size_t c) -> auto & { return columns[c].rollups; },
        [](QString &line, const Rollup *rollup) {
            if (!rollup) {
                line += u",,,"_qs;
                return;
            }
            line += u',' + number(rollup->lowest) + u',' + number(rollup->highest) + u','
                    + number(rollup->average);
        });
}
