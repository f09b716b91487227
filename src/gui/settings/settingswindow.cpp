#include "settingswindow.h"

#include "actionspage.h"
#include "engine/monitor/monitor.h"
#include "gui/common/notice.h"
#include "gui/limits/limitspage.h"
#include "gui/notify/notificationspage.h"
#include "metricspage.h"
#include "senderspage.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QString errorOf(const SettingsFile::SaveResult &saved)
{
    return saved.saved ? QString() : saved.error;
}

} // namespace

SettingsWindow::SettingsWindow(Monitor &monitor, QWidget *parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
    , m_pages(new QStackedWidget(this))
{
    setObjectName(u"SettingsWindow"_qs);
    setWindowTitle(tr("Senvo-Net Settings"));
    setSizeGripEnabled(true);
    m_list->setObjectName(u"settingsPages"_qs);
    m_list->setAccessibleName(tr("Pages"));

    Monitor *const m = &monitor;
    addPage(
        new LimitsPage(monitor.jsonSettings().object().value(LimitRules::key).toArray(),
                       LimitsPage::startedEmptyNote(monitor.jsonSettings()), monitor.table(),
                       [m](const LimitRules &rules) { return errorOf(m->applyLimits(rules)); }));
    addPage(new SendersPage(
        monitor.senders(),
        [m](const SendersSettings &senders) { return m->applySenders(senders).message; },
        monitor.streamSettings(), [m](const StreamSettings &s) { return m->applyStreams(s); }));
    addPage(new NotificationsPage(monitor.notifier().choices(), [m](const NotifyChoices &choices) {
        return errorOf(m->applyNotifyChoices(choices));
    }));
    addPage(new MetricsPage(monitor.metricsSettings(), [m](const MetricsSettings &settings) {
        return m->applyMetrics(settings);
    }));
    addPage(
        new ActionsPage(monitor.actionSettings(), monitor.actionsProblem(), monitor.actions(),
                        [m](const ActionSettings &settings) { return m->applyActions(settings); }));

    m_list->setFixedWidth(m_list->sizeHintForColumn(0) + 4 * m_list->frameWidth()
                          + fontMetrics().averageCharWidth() * 4);
    m_list->setCurrentRow(0);
    connect(m_list, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(u"settingsButtons"_qs);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsWindow::reject);
    auto *sides = new QHBoxLayout;
    sides->addWidget(m_list);
    sides->addWidget(m_pages, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sides, 1);
    layout->addWidget(buttons);
    // Enter ends the edit of a cell or a line; it must not also press OK.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    resize(sizeHint().boundedTo(screen()->availableSize() * 9 / 10));
}

void SettingsWindow::addPage(SettingsPage *page)
{
    m_list->addItem(page->title());
    m_pages->addWidget(page);
}

void SettingsWindow::showPage(const QString &objectName)
{
    for (int i = 0; i < m_pages->count(); ++i) {
        if (m_pages->widget(i)->objectName() == objectName)
            m_list->setCurrentRow(i);
    }
}

SettingsPage *SettingsWindow::currentPage() const
{
    return static_cast<SettingsPage *>(m_pages->currentWidget());
}

void SettingsWindow::accept()
{
    // One message at a time: the latest says what is still wrong.
    for (QMessageBox *told : findChildren<QMessageBox *>())
        told->close();
    QList<SettingsPage *> changed;
    for (int i = 0; i < m_pages->count(); ++i) {
        auto *page = static_cast<SettingsPage *>(m_pages->widget(i));
        if (page->isChanged())
            changed.append(page);
    }
    const auto tell = [this](SettingsPage *page, const QString &text, const QString &name) {
        m_list->setCurrentRow(m_pages->indexOf(page));
        showNotice(this, QMessageBox::Warning, text, name);
    };
    for (SettingsPage *page : changed) {
        if (const SettingsPage::Outcome mistake = page->check(); !mistake.message.isEmpty()) {
            tell(page,
                 tr("Nothing is applied, as the %1 page holds a mistake.").arg(page->title())
                     + u"\n\n"_qs + mistake.message,
                 mistake.name);
            return;
        }
    }
    for (SettingsPage *page : changed) {
        if (const SettingsPage::Outcome failed = page->apply(); !failed.message.isEmpty()) {
            tell(page, tr("%1: %2").arg(page->title(), failed.message), failed.name);
            return;
        }
    }
    QDialog::accept();
}
