#include "arrival.h"

#include "monthnames.h"

#include <algorithm>
#include <utility>

namespace {

// A clock that cannot tell the time gives -1 for its parts: shown as zero.
void putTwoDigits(QChar *out, int number, char16_t padding)
{
    number = std::clamp(number, 0, 99);
    out[0] = number >= 10 ? QChar(char16_t(u'0' + number / 10)) : QChar(padding);
    out[1] = QChar(char16_t(u'0' + number % 10));
}

} // namespace

Arrival::Arrival(Clock clock)
    : m_clock(std::move(clock))
{
}

QStringView Arrival::senderText()
{
    if (!m_textValid || !(m_textSender == m_sender)) {
        m_senderText = m_sender.toText();
        m_textSender = m_sender;
        m_textValid = true;
    }
    return m_senderText;
}

QStringView Arrival::receivedDate()
{
    readClock();
    return m_date;
}

QStringView Arrival::receivedTime()
{
    readClock();
    return m_time;
}

void Arrival::readClock()
{
    if (m_timeRead)
        return;
    m_timeRead = true;
    const QDateTime now = m_clock();
    const QDate date = now.date();
    const QTime time = now.time();
    // A clock that cannot tell the date still gives a date of the usual width.
    const QStringView month = monthName(date.month());
    m_date = (month.isEmpty() ? u"???"_qs : month.toString()) + u"   "_qs;
    putTwoDigits(m_date.data() + 4, date.day(), u' ');
    m_time = u"00:00:00"_qs;
    putTwoDigits(m_time.data(), time.hour(), u'0');
    putTwoDigits(m_time.data() + 3, time.minute(), u'0');
    putTwoDigits(m_time.data() + 6, time.second(), u'0');
}
