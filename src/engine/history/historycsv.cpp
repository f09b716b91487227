#include "historycsv.h"

#include "engine/tablefile/csvtable.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

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

QByteArray HistoryCsv::write(const std::vector<Column> &columns, const WallTime &wallTime)
{
    QString text = u"Time"_qs;
    for (const Column &column : columns) {
        text += u',';
        CsvTable::appendField(text, column.title);
    }
    text += u"\r\n"_qs;
    // The columns are merged by time: each line takes the next moment any column has.
    std::vector<size_t> next(columns.size(), 0);
    for (;;) {
        auto time = std::numeric_limits<HistoryStore::Tenths>::max();
        bool any = false;
        for (size_t c = 0; c < columns.size(); ++c) {
            if (next[c] < columns[c].points.size()) {
                time = std::min(time, columns[c].points[next[c]].time());
                any = true;
            }
        }
        if (!any)
            break;
        text += isoTime(wallTime(time));
        for (size_t c = 0; c < columns.size(); ++c) {
            text += u',';
            const std::vector<HistoryStore::Point> &points = columns[c].points;
            if (next[c] < points.size() && points[next[c]].time() == time)
                text += number(points[next[c]++].value());
        }
        text += u"\r\n"_qs;
    }
    return QByteArray(CsvTable::byteOrderMark) + text.toUtf8();
}
