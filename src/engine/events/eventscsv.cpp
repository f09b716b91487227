#include "eventscsv.h"

#include "engine/history/historycsv.h"
#include "engine/tablefile/csvtable.h"

#include <QDateTime>

QByteArray EventsCsv::write(const std::vector<ArchiveEvent> &events)
{
    // Column names for programs that read the file: never translated.
    QString text = u"Time,Host,Reading,From,To,Value\r\n"_qs;
    for (const ArchiveEvent &event : events) {
        text += HistoryCsv::isoTime(QDateTime::fromMSecsSinceEpoch(event.timeMs));
        for (const QString *field :
             {&event.host, &event.reading, &event.from, &event.to, &event.value}) {
            text += u',';
            CsvTable::appendField(text, *field);
        }
        text += u"\r\n"_qs;
    }
    return QByteArray(CsvTable::byteOrderMark) + text.toUtf8();
}
