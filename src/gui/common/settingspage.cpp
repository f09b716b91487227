#include "settingspage.h"

SettingsPage::SettingsPage(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_title(title)
{
}
