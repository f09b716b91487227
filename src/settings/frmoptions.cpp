#include "frmoptions.h"

#include "host/designfont.h"
#include "host/notice.h"
#include "host/twips.h"
#include "reception/datagramreceiver.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmOptions::frmOptions(const SettingsFile &settings, DatagramReceiver *receiver, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
    , m_settings(settings)
    , m_receiver(receiver)
    , m_portvalue(new QLineEdit(QString(defaultPort), this))
    , m_cmdOK(new QPushButton(tr("OK"), this))
{
    setObjectName(u"frmOptions"_qs);
    setFont(designFont(font(), false));
    setWindowTitle(tr("Senvo-Net Options"));
    setFixedSize(Twips::toPixels(*this, 3120, 1590));

    auto *frame = new QGroupBox(tr("Options"), this);
    frame->setGeometry(Twips::toPixels(*this, 120, 120, 2895, 855));
    auto *label = new QLabel(tr("Incoming UDP Port:"), frame);
    label->setGeometry(Twips::toPixels(*this, 120, 360, 1815, 375));
    label->setFont(designFont(font(), true));
    label->setBuddy(m_portvalue);

    m_portvalue->setObjectName(u"portvalue"_qs);
    QRect field = Twips::toPixels(*this, 2040, 480, 855, 285);
    // Where the platform's face is wider than the design's, the field moves right rather
    // than cover the end of the label.
    field.moveLeft(
        std::max(field.left(), label->mapTo(this, QPoint(label->sizeHint().width(), 0)).x()));
    m_portvalue->setGeometry(field);
    m_portvalue->setAccessibleName(label->text());
    m_portvalue->raise(); // it stands over the frame's right part

    m_cmdOK->setObjectName(u"cmdOK"_qs);
    m_cmdOK->setGeometry(Twips::toPixels(*this, 1920, 1080, 1095, 375));
    // Neither Enter nor Esc confirms a port: only a deliberate click re-binds the socket.
    m_cmdOK->setAutoDefault(false);
    m_cmdOK->setDefault(false);
    setTabOrder(m_cmdOK, m_portvalue);
    m_cmdOK->setFocus();
    connect(m_cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
}

SettingsFile::LoadResult frmOptions::LoadConfig()
{
    SettingsFile::LoadResult result = m_settings.load();
    if (result.status == SettingsFile::LoadResult::Status::Read)
        m_portvalue->setText(result.item);
    return result;
}

SettingsFile::SaveResult frmOptions::SaveConfig()
{
    return m_settings.save(m_portvalue->text());
}

QString frmOptions::portText() const
{
    return m_portvalue->text();
}

void frmOptions::setPortText(const QString &text)
{
    m_portvalue->setText(text);
}

void frmOptions::cmdOK_Click()
{
    const QString wanted = m_portvalue->text();
    if (!m_receiver->rebind(wanted)) {
        const QString still =
            m_receiver->isListening()
                ? tr("Readings are still received on port %1.").arg(m_receiver->port())
                : tr("No readings are being received.");
        showNotice(this, QMessageBox::Warning,
                   tr("Senvo-Net cannot listen on the port you entered.\n\n%1\n\n%2 Enter "
                      "another port and press OK.")
                       .arg(m_receiver->errorString(), still),
                   u"portNotApplied"_qs);
        return;
    }
    const SettingsFile::SaveResult saved = SaveConfig();
    hide();
    Q_EMIT portApplied();
    if (!saved.saved) {
        showNotice(parentWidget(), QMessageBox::Warning,
                   tr("Readings are now received on port %1, but the port could not be "
                      "saved, so the next start will not use it.\n\n%2")
                       .arg(m_receiver->port())
                       .arg(saved.error),
                   u"portNotSaved"_qs);
    }
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    // Closing without OK discards the edit.
    m_portvalue->setText(m_receiver->isListening() ? QString::number(m_receiver->port())
                                                   : QString(defaultPort));
    QDialog::closeEvent(event);
}

void frmOptions::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
