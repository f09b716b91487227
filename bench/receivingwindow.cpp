#include "receivingwindow.h"

#include "engine/tableview/counterformat.h"

#include <QFile>
#include <QLineEdit>

ReceivingWindow::ReceivingWindow(quint16 port, QObject *parent)
    : QObject(parent)
{
    QFile settings(m_settingsDirectory.filePath(SettingsFile::fileName));
    if (!m_settingsDirectory.isValid() || !settings.open(QIODevice::WriteOnly)
        || settings.write(QByteArray::number(port) + '\n') < 0)
        return;
    settings.close();
    const QString directory = m_settingsDirectory.path();
    m_monitor = std::make_unique<Monitor>(SettingsFile(directory, directory));
    m_monitor->listenAtStartUp();
    m_window = std::make_unique<MainForm>(*m_monitor);
    m_packetsReceived = m_window->findChild<QLineEdit *>(u"PacketsReceived"_qs);
}

bool ReceivingWindow::isListening() const
{
    return m_window && m_packetsReceived && m_monitor->receiver().isListening();
}

QString ReceivingWindow::errorString() const
{
    if (!m_window)
        return u"no settings folder for the window"_qs;
    if (!m_packetsReceived)
        return u"the window has no PacketsReceived field"_qs;
    return m_monitor->receiver().errorString();
}

void ReceivingWindow::show()
{
    m_window->show();
}

void ReceivingWindow::showOverview()
{
    m_monitor->overview().setSorting(
        {OverviewModel::firstReadingColumn, Qt::DescendingOrder, false});
    m_window->showOverview();
}

double ReceivingWindow::shownPackets() const
{
    return counterFromText(m_packetsReceived->text()).value_or(-1);
}
