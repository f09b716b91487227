#pragma once

#include <QDialog>

class Monitor;
class QListWidget;
class QStackedWidget;
class SettingsPage;

// "Senvo-Net Settings": the pages of the settings, listed on the left. OK applies every page
// that changed, or none while one holds a mistake; Cancel applies nothing. Modeless: readings
// keep arriving while it is open.
class SettingsWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsWindow)

public:
    // Shows the settings in force; monitor must outlive the window.
    explicit SettingsWindow(Monitor &monitor, QWidget *parent = nullptr);

    // The page of that objectName comes forward; an unknown name leaves the current one.
    void showPage(const QString &objectName);
    SettingsPage *currentPage() const;
    template<class Page> Page *page() const { return findChild<Page *>(); }

    // A page with a mistake is shown and named, and nothing is applied; the window stays open
    // when a page cannot be applied.
    void accept() override;

private:
    void addPage(SettingsPage *page);

    QListWidget *const m_list;
    QStackedWidget *const m_pages;
};
