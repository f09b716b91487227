#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <optional>
#include <utility>

class ReadingsTable;

// The readings table as Prometheus scrapes it, in its text format 0.0.4 or in OpenMetrics
// 1.0.0, written a piece at a time so that the whole answer is never held at once and the
// event loop runs between pieces.
//
// Each family is written whole before the next, one host's row at a time. Rows removed
// between pieces move the place reached along with them, and rows added after a family began
// wait for the next scrape: a host removed and heard again, which comes back as a new row,
// is then never written twice in one family. Hosts are told apart by their text, which no
// two rows share, and a reading by its name, which no two pairs of a row share: so no two
// samples of a family have the same labels.
class MetricsExposition final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsExposition)

public:
    enum class Format { Text004, OpenMetrics100 };
    // What the receiver has counted, as it gives it.
    struct Counters
    {
        double datagrams = 0;
        double bytes = 0;
        double ignored = 0;
    };

    // table must outlive the exposition.
    MetricsExposition(const ReadingsTable &table, const Counters &counters, Format format,
                      QObject *parent = nullptr);

    static QByteArrayView contentType(Format format);
    // OpenMetrics where the Accept header asks for it at least as much as for the text
    // format; the text format for anything else.
    static Format negotiate(QByteArrayView acceptHeader);

    Format format() const { return m_format; }

    // Appends at least atLeast bytes of the answer to out, a sample or so more, or whatever
    // is left; false once the answer is complete.
    bool writeNext(QByteArray &out, qsizetype atLeast);

private:
    enum class Family : quint8 {
        DatagramsReceived,
        BytesReceived,
        DatagramsIgnored,
        Hosts,
        HostsSilent,
        LastHeard,
        Reading,
        ReadingInfo,
        ReadingState,
        Eof,
        Done
    };

    void step(QByteArray &out);
    void writeHead(QByteArray &out) const;
    void writeScalar(QByteArray &out) const;
    void writeRow(QByteArray &out, int row);
    int stateOf(int row, int pair) const;
    void rowsGoing(int first, int last);

    const ReadingsTable &m_table;
    const Counters m_counters;
    const Format m_format;
    Family m_family = Family::DatagramsReceived;
    bool m_begun = false; // the family's head is written
    // The rows of the family, as the table numbers them now: the next and the end.
    int m_row = 0;
    int m_end = 0;
    QByteArray m_host; // the row's host, escaped
    // When a row was heard, in milliseconds since 1970, and how long ago in tenths of a
    // second, as the table said within this piece: a local date and time converted for each
    // host costs far more than the rest of the answer.
    std::optional<std::pair<qint64, qint64>> m_heardAnchor;
};
