#include "receivingwindow.h"

#include "reception/counterformat.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

ReceivingWindow::ReceivingWindow(QObject *parent)
    : QObject(parent)
    , m_receiver(&m_table)
    , m_window(std::make_unique<QWidget>()) {
    auto *layout = new QVBoxLayout(m_window.get());
    auto *counters = new QHBoxLayout;
    layout->addLayout(counters);
    counters->addWidget(new QLabel(tr("Packets Received:"), m_window.get()));
    m_packetsReceived = new QLineEdit(u"0"_qs, m_window.get());
    counters->addWidget(m_packetsReceived);
    counters->addWidget(new QLabel(tr("Bytes Received:"), m_window.get()));
    m_receivedBytes = new QLineEdit(u"0"_qs, m_window.get());
    counters->addWidget(m_receivedBytes);
    auto *view = new QTableView(m_window.get());
    view->setModel(&m_table);
    layout->addWidget(view);
    m_window->resize(700, 200);

    connect(&m_receiver, &DatagramReceiver::countersChanged, this, [this] {
        m_packetsReceived->setText(generalNumber(m_receiver.packets()));
        m_receivedBytes->setText(generalNumber(m_receiver.bytes()));
    });
}

void ReceivingWindow::show() {
    m_window->show();
}

double ReceivingWindow::shownPackets() const {
    return counterFromText(m_packetsReceived->text()).value_or(-1);
}
