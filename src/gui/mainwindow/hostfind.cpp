#include "hostfind.h"

#include "engine/tableview/hostfilter.h"
#include "gui/common/findbar.h"
#include "readingsview.h"

#include <QTimer>

HostFind::HostFind(ReadingsView *grid, QWidget *status, QWidget *client)
    : QObject(client)
    , m_grid(grid)
    , m_status(status)
    , m_bar(new FindBar(client))
{
    m_bar->setGeometry(m_status->geometry());
    m_bar->hide();
    connect(m_bar, &FindBar::textChanged, this, &HostFind::setText);
    connect(m_bar, &FindBar::problemsOnlyChanged, this, &HostFind::setProblemsOnly);
    // Hosts that get into trouble join those shown as they do.
    const HostFilter *const filter = m_grid->hostFilter();
    connect(filter, &QAbstractItemModel::rowsInserted, this, &HostFind::updateCount);
    connect(filter, &QAbstractItemModel::rowsRemoved, this, &HostFind::updateCount);
    connect(m_bar, &FindBar::ended, this, &HostFind::end);
    connect(m_bar, &FindBar::toTable, this, [this] {
        if (!m_grid->currentIndex().isValid() && m_grid->model()->rowCount() > 0)
            m_grid->setCurrentIndex(m_grid->model()->index(0, 1));
        m_grid->setFocus(Qt::ShortcutFocusReason);
    });
}

void HostFind::setText(const QString &text)
{
    m_grid->hostFilter()->setText(text);
    updateCount();
}

void HostFind::setProblemsOnly(bool problemsOnly)
{
    m_bar->setProblemsOnly(problemsOnly);
    m_grid->hostFilter()->setProblemsOnly(problemsOnly);
    updateCount();
}

void HostFind::start()
{
    m_status->hide();
    m_bar->start();
    updateCount();
}

void HostFind::startProblemsOnly()
{
    start();
    setProblemsOnly(true);
}

void HostFind::end()
{
    setText({});
    setProblemsOnly(false);
    m_bar->hide();
    m_status->show();
    m_grid->setFocus(Qt::ShortcutFocusReason);
    // Once the view has laid out every row again, the row the user was on comes into view.
    QTimer::singleShot(0, m_grid, [grid = m_grid] {
        if (grid->currentIndex().isValid())
            grid->scrollTo(grid->currentIndex());
    });
}

void HostFind::updateCount()
{
    if (!m_bar->isHidden())
        m_bar->setCount(m_grid->hostFilter()->countText());
}

void HostFind::setGeometry(const QRect &rect)
{
    m_bar->setGeometry(rect);
}
