#include "readingslook.h"

#include "displaytext.h"
#include "durationtext.h"
#include "readingstable.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

QColor ReadingsLook::overdueColour()
{
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

QColor ReadingsLook::nameColour()
{
    return QColor(Qt::blue);
}

QVariant ReadingsLook::titleData(int column, int role)
{
    if (role == Qt::ForegroundRole && ReadingsTable::isNameColumn(column))
        return nameColour();
    return {};
}

QVariant ReadingsLook::hostData(int row, int role) const
{
    switch (role) {
    case Qt::ForegroundRole:
        return m_table.isSilent(row) ? QVariant(overdueColour()) : QVariant();
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return describe(hostDescription(row), role);
    default:
        return {};
    }
}

QVariant ReadingsLook::readingData(int row, int pair, bool nameCell, int role) const
{
    switch (role) {
    case Qt::ForegroundRole: {
        const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
        if (timing && m_table.silence().isOverdue(*timing))
            return overdueColour();
        return nameCell ? QVariant(nameColour()) : QVariant();
    }
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return describe(readingDescription(row, pair), role);
    default:
        return {};
    }
}

QString ReadingsLook::hostDescription(int row) const
{
    const QDateTime heard = m_table.lastHeard(row);
    if (!heard.isValid())
        return {};
    QString text =
        tr("%1: last heard %2, %3 ago")
            .arg(displayable(m_table.host(row)), heard.toString(u"yyyy-MM-dd hh:mm:ss"_qs),
                 durationText(m_table.tenthsSinceHeard(row)));
    if (m_table.isSilent(row))
        text += tr("; silent, every reading overdue");
    return text;
}

QString ReadingsLook::readingDescription(int row, int pair) const
{
    const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
    if (!timing)
        return {};
    const SilenceWatch &silence = m_table.silence();
    const int id = m_table.nameId(row, pair);
    const QString name =
        id >= 0 ? displayable(m_table.nameText(id)) : tr("A reading without a name");
    const QString ago = durationText(silence.tenthsSince(timing->heard));
    QString text = timing->interval == 0 ? tr("%1: heard %2 ago, only once so far").arg(name, ago)
                                         : tr("%1: heard %2 ago, usually every %3")
                                               .arg(name, ago, durationText(timing->interval));
    if (silence.isOverdue(*timing))
        text += tr("; overdue");
    return text;
}

// A tooltip would take a name that looks like markup for markup: it is always given as
// markup, the text escaped.
QVariant ReadingsLook::describe(const QString &text, int role)
{
    if (text.isEmpty())
        return {};
    if (role == Qt::ToolTipRole)
        return QString(u"<p style=\"white-space:pre\">"_qs + text.toHtmlEscaped() + u"</p>"_qs);
    return text;
}
