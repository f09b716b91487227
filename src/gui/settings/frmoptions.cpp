#include "frmoptions.h"

#include "gui/common/designfont.h"
#include "gui/common/notice.h"
#include "gui/common/twips.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmOptions::frmOptions(PortSetting *setting, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
    , m_setting(setting)
    , m_portvalue(new QLineEdit(setting->portText(), this))
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
    // Where the platform's face is wide, the field moves right rather than cover the end
    // of the label.
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
    connect(m_setting, &PortSetting::portTextChanged, m_portvalue, &QLineEdit::setText);
}

PortSetting::ReadResult frmOptions::LoadConfig()
{
    return m_setting->read();
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
    const PortSetting::ApplyResult result = m_setting->apply(m_portvalue->text());
    if (result.outcome == PortSetting::Outcome::NotApplied) {
        showNotice(this, QMessageBox::Warning, result.message, u"portNotApplied"_qs);
        return;
    }
    hide();
    if (result.outcome == PortSetting::Outcome::AppliedNotSaved)
        showNotice(parentWidget(), QMessageBox::Warning, result.message, u"portNotSaved"_qs);
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    // Closing without OK discards the edit.
    m_setting->followReceiver();
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
