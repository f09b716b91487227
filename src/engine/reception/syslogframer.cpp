#include "syslogframer.h"

#include <algorithm>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isTerminator(char c)
{
    return c == '\n' || c == '\r' || c == '\0';
}

} // namespace

SyslogFramer::Status SyslogFramer::fail(Status status)
{
    m_status = status;
    m_pending.clear();
    m_pending.squeeze();
    return status;
}

SyslogFramer::Status SyslogFramer::feed(QByteArrayView bytes, const Sink &sink)
{
    if (m_status != Status::Ok)
        return m_status;
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        switch (m_state) {
        case State::Between:
            if (isTerminator(*p)) {
                ++p;
                continue;
            }
            ++m_framesBegun;
            if (isDigit(*p)) {
                if (*p == '0')
                    return fail(Status::BadCount);
                m_state = State::Count;
                m_count = 0;
            } else {
                m_state = State::Line;
            }
            continue;
        case State::Count:
            if (*p == ' ') {
                ++p;
                m_state = State::Body;
                continue;
            }
            if (!isDigit(*p))
                return fail(Status::BadCount);
            m_count = m_count * 10 + (*p - '0');
            ++p;
            if (m_count > maxFrameSize)
                return fail(Status::TooLarge);
            continue;
        case State::Body: {
            const qsizetype wanted = m_count - m_pending.size();
            const qsizetype taken = std::min<qsizetype>(wanted, end - p);
            if (m_pending.isEmpty() && taken == m_count) {
                sink(QByteArrayView(p, taken));
            } else {
                m_pending.append(p, taken);
                if (m_pending.size() == m_count) {
                    sink(m_pending);
                    m_pending.clear();
                }
            }
            p += taken;
            if (taken == wanted)
                m_state = State::Between;
            continue;
        }
        case State::Line: {
            const char *const stop = std::find_if(p, end, isTerminator);
            const qsizetype length = stop - p;
            if (m_pending.size() + length > maxFrameSize)
                return fail(Status::TooLarge);
            if (stop == end) {
                m_pending.append(p, length);
                p = end;
                continue;
            }
            if (m_pending.isEmpty()) {
                sink(QByteArrayView(p, length));
            } else {
                m_pending.append(p, length);
                sink(m_pending);
                m_pending.clear();
            }
            p = stop + 1;
            m_state = State::Between;
            continue;
        }
        }
    }
    return m_status;
}
