#include "eventfilter.h"

EventFilter::EventFilter(const QString &text, bool problemsOnly)
    : m_text(text.trimmed())
    , m_problemsOnly(problemsOnly)
{
}

bool EventFilter::isProblem(QStringView state)
{
    for (const QStringView problem : {u"warning", u"critical", u"silent"}) {
        if (state.compare(problem, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool EventFilter::accepts(const ArchiveEvent &event) const
{
    if (m_problemsOnly && !isProblem(event.to))
        return false;
    if (m_text.isEmpty())
        return true;
    for (const QString *field :
         {&event.host, &event.reading, &event.from, &event.to, &event.value}) {
        if (field->contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
