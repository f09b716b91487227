#include "senderspage.h"

#include "gui/common/addresslistedit.h"

#include "engine/reception/allowedclients.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr quint16 suggestedTcpPort = 5514;
constexpr quint16 suggestedTlsPort = 6514;

std::optional<quint16> portIn(const QLineEdit *field)
{
    bool ok = false;
    const uint port = field->text().trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

QString portText(quint16 inForce, quint16 suggested)
{
    return QString::number(inForce != 0 ? inForce : suggested);
}

// field with a "Browse…" button beside it that picks a file into it.
QWidget *withBrowse(QLineEdit *field, const QString &title, QWidget *page)
{
    auto *row = new QWidget(page);
    auto *browse = new QPushButton(SendersPage::tr("Browse…"), row);
    browse->setObjectName(field->objectName() + u"Browse"_qs);
    field->setParent(row);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins({});
    layout->addWidget(field, 1);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, field, [field, title] {
        const QFileInfo current(field->text().trimmed());
        const QString chosen = QFileDialog::getOpenFileName(
            field->window(), title, current.isAbsolute() ? current.absolutePath() : QString());
        if (!chosen.isEmpty())
            field->setText(QDir::toNativeSeparators(chosen));
    });
    return row;
}

} // namespace

SendersPage::SendersPage(const SendersSettings &inForce, Apply<SendersSettings> apply,
                         const StreamSettings &streamsInForce, Apply<StreamSettings> applyStreams,
                         QWidget *parent)
    : SettingsPage(tr("Senders"), parent)
    , m_apply(std::move(apply))
    , m_applyStreams(std::move(applyStreams))
    , m_inForce(inForce)
    , m_streamsInForce(streamsInForce)
    , m_address(new QComboBox(this))
    , m_senders(new AddressListEdit(inForce.allowedSenders(), this))
    , m_problem(new QLabel(this))
    , m_tcpOn(new QCheckBox(tr("Receive over &TCP"), this))
    , m_tcpPort(new QLineEdit(portText(streamsInForce.tcpPort(), suggestedTcpPort), this))
    , m_tlsOn(new QCheckBox(tr("Receive over TL&S"), this))
    , m_tlsPort(new QLineEdit(portText(streamsInForce.tlsPort(), suggestedTlsPort), this))
    , m_certificate(new QLineEdit(streamsInForce.certificate(), this))
    , m_privateKey(new QLineEdit(streamsInForce.privateKey(), this))
    , m_clientCA(new QLineEdit(streamsInForce.clientCA(), this))
    , m_allowedClients(new QPlainTextEdit(streamsInForce.allowedClients().join(u'\n'), this))
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

    m_tcpOn->setObjectName(u"tcpOn"_qs);
    m_tcpOn->setChecked(streamsInForce.tcpPort() != 0);
    m_tcpPort->setObjectName(u"tcpPort"_qs);
    m_tcpPort->setAccessibleName(tr("TCP port"));
    m_tlsOn->setObjectName(u"tlsOn"_qs);
    m_tlsOn->setChecked(streamsInForce.tlsPort() != 0);
    m_tlsPort->setObjectName(u"tlsPort"_qs);
    m_tlsPort->setAccessibleName(tr("TLS port"));
    m_certificate->setObjectName(u"tlsCertificate"_qs);
    m_certificate->setPlaceholderText(u"server.pem"_qs);
    m_privateKey->setObjectName(u"tlsPrivateKey"_qs);
    m_privateKey->setPlaceholderText(u"server.key"_qs);
    m_clientCA->setObjectName(u"tlsClientCA"_qs);
    m_clientCA->setPlaceholderText(u"ca.pem"_qs);
    m_allowedClients->setObjectName(u"tlsAllowedClients"_qs);
    m_allowedClients->setTabChangesFocus(true);
    // A few relays, not a page of them: the notes stay in view.
    m_allowedClients->setMaximumHeight(m_allowedClients->fontMetrics().lineSpacing() * 5
                                       + 2 * m_allowedClients->frameWidth()
                                       + int(2 * m_allowedClients->document()->documentMargin()));

    auto *filesNote = new QLabel(tr("PEM files; a name without a folder is read beside "
                                    "Senvo-Net.json. With a client CA, only clients with a "
                                    "certificate it signed may send; without, any client."),
                                 this);
    filesNote->setWordWrap(true);
    auto *clientsNote = new QLabel(tr("One a line: a name in the client's certificate, or "
                                      "SHA256: and its fingerprint. Empty: every client the "
                                      "CA signed."),
                                   this);
    clientsNote->setWordWrap(true);

    auto *streamForm = new QFormLayout;
    streamForm->addRow(m_tcpOn, m_tcpPort);
    streamForm->addRow(m_tlsOn, m_tlsPort);
    const QList<std::pair<QString, QLineEdit *>> files{{tr("&Certificate:"), m_certificate},
                                                       {tr("Private &key:"), m_privateKey},
                                                       {tr("Client C&A:"), m_clientCA}};
    QList<QWidget *> tlsFields{m_tlsPort, m_allowedClients, filesNote, clientsNote};
    for (const auto &[label, field] : files) {
        QWidget *row = withBrowse(field, QString(label).remove(u'&').chopped(1), this);
        streamForm->addRow(label, row);
        tlsFields.append(row);
        tlsFields.append(streamForm->labelForField(row));
    }
    streamForm->addRow(QString(), filesNote);
    streamForm->addRow(tr("Allowed c&lients:"), m_allowedClients);
    tlsFields.append(streamForm->labelForField(m_allowedClients));
    streamForm->addRow(QString(), clientsNote);
    auto *streams = new QGroupBox(tr("Over TCP and TLS"), this);
    streams->setObjectName(u"streams"_qs);
    streams->setLayout(streamForm);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addLayout(form);
    layout->addWidget(streams);
    layout->addStretch(1);

    const auto enable = [this, tlsFields] {
        m_tcpPort->setEnabled(m_tcpOn->isChecked());
        for (QWidget *field : tlsFields)
            field->setEnabled(m_tlsOn->isChecked());
    };
    connect(m_tcpOn, &QCheckBox::toggled, this, enable);
    connect(m_tlsOn, &QCheckBox::toggled, this, enable);
    enable();

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

std::optional<StreamSettings> SendersPage::editedStreams() const
{
    const std::optional<quint16> tcp = m_tcpOn->isChecked() ? portIn(m_tcpPort) : quint16(0);
    const std::optional<quint16> tls = m_tlsOn->isChecked() ? portIn(m_tlsPort) : quint16(0);
    if (!tcp || !tls)
        return std::nullopt;
    StreamSettings now;
    now.setTcpPort(*tcp);
    now.setTlsPort(*tls);
    now.setTlsFiles(m_certificate->text(), m_privateKey->text(), m_clientCA->text());
    now.setAllowedClients(m_allowedClients->toPlainText().split(u'\n'));
    return now;
}

bool SendersPage::sendersChanged() const
{
    const SendersSettings now = edited();
    return !now.errors().isEmpty() || now.allowedSenders() != m_inForce.allowedSenders()
           || now.listenAddress() != m_inForce.listenAddress();
}

bool SendersPage::streamsChanged() const
{
    const std::optional<StreamSettings> now = editedStreams();
    return !now || !(*now == m_streamsInForce);
}

bool SendersPage::isChanged()
{
    return sendersChanged() || streamsChanged();
}

SettingsPage::Outcome SendersPage::check()
{
    if (const QString fault = m_senders->checkLines(); !fault.isEmpty())
        return {tr("This is not an address or a prefix, so nothing was changed:\n\n%1").arg(fault),
                u"sendersRefused"_qs};
    const auto portRefused = [](const QString &kind, const QLineEdit *field) {
        return tr("The %1 port \"%2\" is not a whole number from 1 to 65535, so nothing was "
                  "changed.")
            .arg(kind, field->text().trimmed().left(20));
    };
    if (m_tcpOn->isChecked() && !portIn(m_tcpPort))
        return {portRefused(u"TCP"_qs, m_tcpPort), u"tcpPortRefused"_qs};
    if (m_tlsOn->isChecked() && !portIn(m_tlsPort))
        return {portRefused(u"TLS"_qs, m_tlsPort), u"tlsPortRefused"_qs};
    const StreamSettings now = *editedStreams();
    if (now.tcpPort() != 0 && now.tcpPort() == now.tlsPort())
        return {tr("TCP and TLS cannot share port %1, so nothing was changed.").arg(now.tcpPort()),
                u"samePortRefused"_qs};
    if (now.tlsPort() != 0 && (now.certificate().isEmpty() || now.privateKey().isEmpty()))
        return {tr("TLS needs a certificate and its private key, so nothing was changed."),
                u"tlsFilesRefused"_qs};
    const QStringList clients = m_allowedClients->toPlainText().split(u'\n');
    for (qsizetype i = 0; i < clients.size(); ++i) {
        if (clients.at(i).trimmed().isEmpty())
            continue;
        if (const QString why = AllowedClients::check(clients.at(i)); !why.isEmpty())
            return {tr("Allowed clients, line %1: %2. Nothing was changed.").arg(i + 1).arg(why),
                    u"allowedClientsRefused"_qs};
    }
    return {};
}

SettingsPage::Outcome SendersPage::apply()
{
    // The senders first: TCP and TLS listen on their address.
    if (sendersChanged()) {
        const SendersSettings now = edited();
        if (const QString message = m_apply(now); !message.isEmpty())
            return {message, u"sendersNotApplied"_qs};
        m_inForce = now;
    }
    if (streamsChanged()) {
        const std::optional<StreamSettings> now = editedStreams();
        if (!now)
            return check();
        if (const QString message = m_applyStreams(*now); !message.isEmpty())
            return {message, u"streamsNotApplied"_qs};
        m_streamsInForce = *now;
    }
    return {};
}
