#include "readingslook.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/readingstable.h"

#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>

#include <iterator>

namespace {

using Level = LimitState::Level;
using Direction = LimitState::Direction;

} // namespace

QColor ReadingsLook::overdueColour()
{
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

QColor ReadingsLook::nameColour()
{
    return QColor(Qt::blue);
}

// Amber and a dark red, each with text of at least 4.5:1 contrast on it, greyed or not.
QColor ReadingsLook::stateColour(Level level)
{
    switch (level) {
    case Level::Warning:
        return QColor(0xff, 0xc0, 0x00);
    case Level::Critical:
        return QColor(0xa3, 0x15, 0x15);
    default:
        return {};
    }
}

QColor ReadingsLook::stateTextColour(Level level, bool overdue)
{
    switch (level) {
    case Level::Warning:
        return overdue ? QColor(0x50, 0x50, 0x50) : QColor(Qt::black);
    case Level::Critical:
        return overdue ? QColor(0xc8, 0xc8, 0xc8) : QColor(Qt::white);
    default:
        return {};
    }
}

// Painted once per state and screen scale; Qt's pixmap cache keeps them.
QPixmap ReadingsLook::stateIcon(Level level, Direction direction)
{
    if (!isTrouble(level) || direction == Direction::None)
        return {};
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString key = u"senvo-state-%1-%2-%3"_qs.arg(int(level)).arg(int(direction)).arg(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    if (direction == Direction::Below) {
        // The arrow up turned over, so that the two differ in nothing else.
        pixmap = QPixmap::fromImage(stateIcon(level, Direction::Above).toImage().mirrored());
        pixmap.setDevicePixelRatio(ratio);
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }
    constexpr int size = 16;
    pixmap = QPixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(stateTextColour(level, false));
    if (direction == Direction::Word) {
        // An exclamation mark: a word, not a number, put the reading in this state.
        painter.drawRoundedRect(QRectF(6.5, 1.5, 3, 9), 1.2, 1.2);
        painter.drawEllipse(QPointF(8, 13.2), 1.8, 1.8);
    } else {
        const QPointF arrow[] = {{8, 1.5},  {14.5, 8.5}, {10, 8.5}, {10, 14.5},
                                 {6, 14.5}, {6, 8.5},    {1.5, 8.5}};
        painter.drawPolygon(arrow, int(std::size(arrow)));
    }
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QColor ReadingsLook::markColour(Trouble worst)
{
    switch (worst) {
    case Trouble::Critical:
        return stateColour(Level::Critical);
    case Trouble::Warning:
        return stateColour(Level::Warning);
    case Trouble::Silent:
        return overdueColour();
    case Trouble::Normal:
        break;
    }
    return {};
}

QVariant ReadingsLook::titleData(int column, int role)
{
    if (role == Qt::ForegroundRole && ReadingsTable::isNameColumn(column))
        return nameColour();
    return {};
}

QVariant ReadingsLook::stateData(const LimitState &state, bool overdue, int role)
{
    if (!isTrouble(state.level()))
        return {};
    switch (role) {
    case Qt::BackgroundRole:
        return stateColour(state.level());
    case Qt::ForegroundRole:
        return stateTextColour(state.level(), overdue);
    case Qt::DecorationRole:
        return stateIcon(state.level(), state.direction());
    default:
        return {};
    }
}

QVariant ReadingsLook::hostData(int row, int role, bool hostCell) const
{
    switch (role) {
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case Qt::DecorationRole: {
        const bool silent = m_table.isSilent(row);
        const LimitWatch *const limits = LimitWatch::of(m_table);
        const int worst = hostCell && limits ? limits->worstPair(row) : -1;
        if (worst >= 0)
            return stateData(*limits->state(row, worst), silent, role);
        if (role == Qt::ForegroundRole && silent)
            return overdueColour();
        return {};
    }
    default:
        return {};
    }
}

QVariant ReadingsLook::readingData(int row, int pair, bool nameCell, int role) const
{
    switch (role) {
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case Qt::DecorationRole: {
        const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
        const bool overdue = timing && m_table.silence().isOverdue(*timing);
        const LimitWatch *const limits = LimitWatch::of(m_table);
        if (!nameCell && limits) {
            if (const LimitState *const state = limits->state(row, pair);
                state && isTrouble(state->level()))
                return stateData(*state, overdue, role);
        }
        if (role != Qt::ForegroundRole)
            return {};
        if (overdue)
            return overdueColour();
        return nameCell ? QVariant(nameColour()) : QVariant();
    }
    default:
        return {};
    }
}
