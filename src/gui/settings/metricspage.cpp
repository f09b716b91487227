#include "metricspage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr QStringView suggestedListen = u"127.0.0.1:9464";

} // namespace

MetricsPage::MetricsPage(const MetricsSettings &inForce, Apply<MetricsSettings> apply,
                         QWidget *parent)
    : SettingsPage(tr("Metrics"), parent)
    , m_apply(std::move(apply))
    , m_inForce(inForce)
    , m_serve(new QCheckBox(tr("&Serve the readings to Prometheus"), this))
    , m_listen(new QLineEdit(this))
    , m_allowed(new AddressListEdit(inForce.allowed(), this))
    , m_problem(new QLabel(this))
{
    setObjectName(u"metricsPage"_qs);
    m_serve->setObjectName(u"serveMetrics"_qs);
    m_serve->setChecked(inForce.isOn());
    m_listen->setObjectName(u"metricsListen"_qs);
    m_listen->setText(inForce.isOn() ? inForce.listen() : suggestedListen.toString());
    m_listen->setPlaceholderText(suggestedListen.toString());
    m_allowed->setObjectName(u"metricsAllowed"_qs);
    m_problem->setObjectName(u"metricsProblem"_qs);
    m_problem->setWordWrap(true);
    QPalette red = m_problem->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_problem->setPalette(red);

    auto *listenNote = new QLabel(
        tr("An address and a port. Prometheus asks http://address:port/metrics. 127.0.0.1 "
           "serves this computer alone; 0.0.0.0 or [::] every address."),
        this);
    listenNote->setWordWrap(true);
    auto *allowedNote = new QLabel(tr("Only these addresses may ask, one address or prefix a "
                                      "line (10.0.0.0/8, 192.168.1.20). Empty: every address."),
                                   this);
    allowedNote->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(m_serve);
    form->addRow(tr("&Listen on:"), m_listen);
    form->addRow(QString(), listenNote);
    form->addRow(tr("&Allowed:"), m_allowed);
    form->addRow(QString(), allowedNote);
    form->addRow(QString(), m_problem);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addLayout(form);
    layout->addStretch(1);

    const auto enable = [this] {
        m_listen->setEnabled(m_serve->isChecked());
        m_allowed->setEnabled(m_serve->isChecked());
        checkFields();
    };
    connect(m_serve, &QCheckBox::toggled, this, enable);
    connect(m_listen, &QLineEdit::textChanged, this, [this] { checkFields(); });
    connect(m_allowed, &AddressListEdit::checked, this, [this] { checkFields(); });
    enable();
}

QString MetricsPage::problemText() const
{
    return m_problem->text();
}

QString MetricsPage::checkFields()
{
    QString problem;
    if (m_serve->isChecked()) {
        problem = MetricsSettings::checkListen(m_listen->text().trimmed());
        // A sentence of its own under the fields.
        if (!problem.isEmpty())
            problem[0] = problem[0].toUpper();
        if (problem.isEmpty()) {
            const QSignalBlocker quiet(m_allowed);
            problem = m_allowed->checkLines();
        }
    }
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    return problem;
}

MetricsSettings MetricsPage::edited() const
{
    return {m_serve->isChecked() ? m_listen->text().trimmed() : QString(), m_allowed->lines()};
}

bool MetricsPage::isChanged()
{
    const MetricsSettings now = edited();
    return now.listen() != m_inForce.listen() || now.allowed() != m_inForce.allowed();
}

SettingsPage::Outcome MetricsPage::check()
{
    if (const QString fault = checkFields(); !fault.isEmpty())
        return {tr("The metrics cannot be served as set, so nothing was changed:\n\n%1").arg(fault),
                u"metricsRefused"_qs};
    return {};
}

SettingsPage::Outcome MetricsPage::apply()
{
    const MetricsSettings now = edited();
    if (const QString message = m_apply(now); !message.isEmpty())
        return {message, u"metricsNotApplied"_qs};
    m_inForce = now;
    return {};
}
