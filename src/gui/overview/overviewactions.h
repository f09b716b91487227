#pragma once

class OverviewModel;
class QAction;
class QMenu;
class QString;

// "Problems First" in menu, checked while model sorts the hosts in trouble first, wherever
// that was chosen; model must outlive the item.
QAction *addProblemsFirstAction(QMenu *menu, OverviewModel &model, const QString &name);
// "Trends" in menu, checked while model shows them; likewise.
QAction *addTrendsAction(QMenu *menu, OverviewModel &model, const QString &name);
