#include "senderspage.h"

#include "gui/common/addresslistedit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QNetworkInterface>
#include <QVBoxLayout>

SendersPage::SendersPage(const SendersSettings &inForce, Apply<SendersSettings> apply,
                         QWidget *parent)
    : SettingsPage(tr("Senders"), parent)
    , m_apply(std::move(apply))
    , m_inForce(inForce)
    , m_address(new QComboBox(this))
    , m_senders(new AddressListEdit(inForce.allowedSenders(), this))
    , m_problem(new QLabel(this))
{
    setObjectName(u"sendersPage"_qs);

    m_address->setObjectName(u"listenAddress"_qs);
    m_address->addItem(tr("Every address"), QString());
    m_address->addItem(tr("This computer only (127.0.0.1)"), u"127.0.0.1"_qs);
    for (const QHostAddress &own : QNetworkInterface::allAddresses()) {
        // A link-local address needs its interface named; such a choice is better typed by hand.
        if (own == QHostAddress::LocalHost || !own.scopeId().isEmpty())
            continue;
        const QString text = own.toString();
        m_address->addItem(
            own == QHostAddress::LocalHostIPv6 ? tr("This computer only, IPv6 (::1)") : text, text);
    }
    const QString current = inForce.listenAddress();
    int index = m_address->findData(current);
    if (index < 0) {
        m_address->addItem(current, current);
        index = m_address->count() - 1;
    }
    m_address->setCurrentIndex(index);

    m_senders->setObjectName(u"allowedSenders"_qs);
    m_problem->setObjectName(u"sendersProblem"_qs);
    m_problem->setWordWrap(true);
    QPalette red = m_problem->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_problem->setPalette(red);

    auto *addressNote = new QLabel(
        tr("Listening on 127.0.0.1 or ::1 takes readings from this computer alone."), this);
    addressNote->setWordWrap(true);
    auto *sendersNote =
        new QLabel(tr("Only these senders' readings are shown, one address or prefix a line "
                      "(192.168.1.0/24, 10.0.0.5, fd00::/8, ::1). Empty: every sender. The "
                      "others are counted as ignored."),
                   this);
    sendersNote->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("&Listen on:"), m_address);
    form->addRow(QString(), addressNote);
    form->addRow(tr("&Allowed senders:"), m_senders);
    form->addRow(QString(), sendersNote);
    form->addRow(QString(), m_problem);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addLayout(form);
    layout->addStretch(1);

    connect(m_senders, &AddressListEdit::checked, this, [this](const QString &problem) {
        m_problem->setText(problem);
        m_problem->setVisible(!problem.isEmpty());
    });
    m_senders->checkLines();
}

QString SendersPage::problemText() const
{
    return m_problem->text();
}

SendersSettings SendersPage::edited() const
{
    return {m_senders->lines(), m_address->currentData().toString()};
}

bool SendersPage::isChanged()
{
    const SendersSettings now = edited();
    return !now.errors().isEmpty() || now.allowedSenders() != m_inForce.allowedSenders()
           || now.listenAddress() != m_inForce.listenAddress();
}

SettingsPage::Outcome SendersPage::check()
{
    if (const QString fault = m_senders->checkLines(); !fault.isEmpty())
        return {tr("This is not an address or a prefix, so nothing was changed:\n\n%1").arg(fault),
                u"sendersRefused"_qs};
    return {};
}

SettingsPage::Outcome SendersPage::apply()
{
    const SendersSettings now = edited();
    if (const QString message = m_apply(now); !message.isEmpty())
        return {message, u"sendersNotApplied"_qs};
    m_inForce = now;
    return {};
}
