#include "overviewactions.h"

#include "engine/overview/overviewmodel.h"

#include <QAction>
#include <QMenu>

QAction *addProblemsFirstAction(QMenu *menu, OverviewModel &model, const QString &name)
{
    QAction *action = menu->addAction(QObject::tr("&Problems First"));
    action->setObjectName(name);
    action->setCheckable(true);
    action->setChecked(model.sorting().problemsFirst);
    QObject::connect(action, &QAction::toggled, &model, [&model](bool on) {
        if (on != model.sorting().problemsFirst)
            model.setSorting(on ? OverviewModel::Sorting{-1, Qt::AscendingOrder, true}
                                : OverviewModel::Sorting{});
    });
    QObject::connect(&model, &OverviewModel::sortingChanged, action,
                     [action, &model] { action->setChecked(model.sorting().problemsFirst); });
    return action;
}

QAction *addTrendsAction(QMenu *menu, OverviewModel &model, const QString &name)
{
    QAction *action = menu->addAction(QObject::tr("&Trends"));
    action->setObjectName(name);
    action->setCheckable(true);
    action->setChecked(model.trendsShown());
    QObject::connect(action, &QAction::toggled, &model, &OverviewModel::setTrendsShown);
    QObject::connect(&model, &OverviewModel::trendsShownChanged, action, &QAction::setChecked);
    return action;
}
