#include "readingsdescription.h"

#include "displaytext.h"
#include "durationtext.h"
#include "lastheardtext.h"
#include "readingstable.h"
#include "readingstates.h"

QVariant ReadingsDescription::hostData(int row, int role) const
{
    return isDescriptionRole(role) ? describe(host(row), role) : QVariant();
}

QVariant ReadingsDescription::readingData(int row, int pair, int role) const
{
    return isDescriptionRole(role) ? describe(reading(row, pair), role) : QVariant();
}

QString ReadingsDescription::host(int row) const
{
    const QDateTime heard = m_table.lastHeard(row);
    if (!heard.isValid())
        return {};
    QString text = displayable(m_table.host(row)) + u": "_qs;
    if (const ReadingStates *const states = m_table.states()) {
        if (const int worst = states->worstPair(row); worst >= 0) {
            text += tr("%1 %2 \u00b7 ")
                        .arg(readingName(row, worst), displayable(states->description(row, worst)));
        }
    }
    if (m_table.isRestored(row))
        text += tr("last heard before start-up: %1").arg(lastHeardText(heard));
    else
        text += tr("last heard %1, %2 ago")
                    .arg(lastHeardText(heard), durationText(m_table.tenthsSinceHeard(row)));
    if (m_table.isSilent(row))
        text += tr("; silent, every reading overdue");
    return text;
}

QString ReadingsDescription::readingName(int row, int pair) const
{
    const int id = m_table.nameId(row, pair);
    return id >= 0 ? displayable(m_table.nameText(id)) : tr("A reading without a name");
}

QString ReadingsDescription::reading(int row, int pair) const
{
    const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
    if (!timing)
        return {};
    const SilenceWatch &silence = m_table.silence();
    QString text = readingName(row, pair) + u": "_qs;
    if (const ReadingStates *const states = m_table.states()) {
        if (const QString state = states->description(row, pair); !state.isEmpty())
            text += displayable(state) + u" \u00b7 "_qs;
    }
    if (SilenceWatch::isRestored(*timing)) {
        text +=
            tr("last heard before start-up: %1").arg(lastHeardText(m_table.heardBeforeStart(row)));
    } else {
        const QString ago = durationText(silence.tenthsSince(timing->heard));
        text += timing->interval == 0
                    ? tr("heard %1 ago, only once so far").arg(ago)
                    : tr("heard %1 ago, usually every %2").arg(ago, durationText(timing->interval));
    }
    if (silence.isOverdue(*timing))
        text += tr("; overdue");
    return text;
}

// A tooltip would take a name that looks like markup for markup: it is always given as
// markup, the text escaped.
QVariant ReadingsDescription::describe(const QString &text, int role)
{
    if (text.isEmpty())
        return {};
    if (role == Qt::ToolTipRole)
        return QString(u"<p style=\"white-space:pre\">"_qs + text.toHtmlEscaped() + u"</p>"_qs);
    return text;
}
