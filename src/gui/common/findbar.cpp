#include "findbar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

FindBar::FindBar(QWidget *parent)
    : QWidget(parent)
    , m_field(new QLineEdit(this))
    , m_problemsOnly(new QCheckBox(tr("&Problems only"), this))
    , m_count(new QLabel(this))
{
    setObjectName(u"findBar"_qs);
    m_field->setObjectName(u"findHost"_qs);
    m_field->setPlaceholderText(tr("Find host"));
    m_field->setAccessibleName(tr("Find host"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_problemsOnly->setObjectName(u"problemsOnly"_qs);
    m_problemsOnly->setToolTip(
        tr("Only hosts with a reading in warning or critical, or that fell silent"));
    m_problemsOnly->installEventFilter(this);
    m_count->setObjectName(u"findHostCount"_qs);
    auto *layout = new QHBoxLayout(this);
    // A character's gap before the counters, which start where the bar ends.
    layout->setContentsMargins(0, 0, fontMetrics().averageCharWidth(), 0);
    layout->addWidget(m_field, 3);
    layout->addWidget(m_problemsOnly);
    layout->addWidget(m_count, 2);
    connect(m_field, &QLineEdit::textChanged, this, &FindBar::textChanged);
    connect(m_problemsOnly, &QCheckBox::toggled, this, &FindBar::problemsOnlyChanged);
}

bool FindBar::problemsOnly() const
{
    return m_problemsOnly->isChecked();
}

void FindBar::setProblemsOnly(bool problemsOnly)
{
    m_problemsOnly->setChecked(problemsOnly);
}

QString FindBar::text() const
{
    return m_field->text();
}

void FindBar::setCount(const QString &count)
{
    if (m_count->text() != count)
        m_count->setText(count);
}

void FindBar::setPrompt(const QString &placeholder, const QString &problemsOnlyTip)
{
    m_field->setPlaceholderText(placeholder);
    m_field->setAccessibleName(placeholder);
    m_problemsOnly->setToolTip(problemsOnlyTip);
}

void FindBar::start()
{
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_field || watched == m_problemsOnly) && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Escape:
            m_field->clear();
            m_problemsOnly->setChecked(false);
            Q_EMIT ended();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Down:
            Q_EMIT toTable();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
