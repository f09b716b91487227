#include "frmabout.h"

#include "engine/about/detachedprogramlauncher.h"
#include "engine/about/registry.h"
#include "engine/about/sysinfolauncher.h"
#include "engine/about/systemregistry.h"
#include "gui/common/applicationicon.h"
#include "gui/common/designfont.h"
#include "gui/common/notice.h"
#include "gui/common/twips.h"
#include "senvoversion.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVersionNumber>

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , m_registry(createSystemRegistry())
    , m_launcher(std::make_unique<DetachedProgramLauncher>())
    , m_picIcon(new QLabel(this))
    , m_lblTitle(new QLabel(this))
    , m_lblVersion(new QLabel(this))
    , m_lblDescription(new QLabel(this))
    , m_lblCredits(new QLabel(this))
    , m_lblDisclaimer(new QLabel(this))
    , m_cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , m_cmdSysInfo(new QPushButton(QStringLiteral("&System Info..."), this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Twips::toPixels(*this, 5730, 3555));
    // The layout is measured for an 8-point body text; the desktop's usual 9 or 10 points
    // would cut the description short.
    QFont bodyFont = withInstalledFace(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    bodyFont.setPointSize(8);
    setFont(bodyFont);

    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setGeometry(twips(240, 120, 540, 540));
    m_picIcon->setAlignment(Qt::AlignCenter);
    const int iconSide = Twips::toPixelsX(*this, 480);
    m_picIcon->setPixmap(applicationIcon().pixmap(QSize(iconSide, iconSide)));

    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setGeometry(twips(1050, 120, 3885, 360));
    QFont titleFont = withInstalledFace(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);

    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setGeometry(twips(1050, 480, 3885, 225));

    m_lblDescription->setObjectName(QStringLiteral("lblDescription"));
    m_lblDescription->setGeometry(twips(1080, 720, 3885, 690));
    m_lblDescription->setWordWrap(true);
    m_lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblDescription->setText(
        QStringLiteral("Monitors Senvo 5 readings from machines connected to the Internet.  "
                       "Allows you to view all machines in one convenient window.  "));

    m_lblCredits->setObjectName(QStringLiteral("lblCredits"));
    m_lblCredits->setGeometry(twips(1080, 1560, 3975, 855));
    m_lblCredits->setWordWrap(true);
    m_lblCredits->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblCredits->setText(QStringLiteral("Readings arrive as syslog messages over UDP; "
                                         "each machine keeps one row with its latest values.  "
                                         "Built with Qt."));

    m_lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    m_lblDisclaimer->setGeometry(twips(255, 2625, 3870, 825));
    m_lblDisclaimer->setWordWrap(true);
    m_lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblDisclaimer->setText(QStringLiteral("This program only listens: it sends nothing and "
                                            "stores no readings.  It is provided as is, "
                                            "without warranty of any kind."));

    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(twips(4245, 2625, 1260, 345));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdSysInfo->setGeometry(twips(4260, 3075, 1245, 345));

    // Esc already rejects a QDialog, which closes it like OK does.
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::close);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    m_cmdOK->setFocus();
    Form_Load();
}

frmAbout::~frmAbout() = default;

QString frmAbout::versionText(const QString &applicationVersion)
{
    qsizetype suffix = 0;
    QVersionNumber version = QVersionNumber::fromString(applicationVersion, &suffix);
    if (version.isNull() || suffix != applicationVersion.size())
        version = QVersionNumber(SenvoVersion::majorNumber, SenvoVersion::minorNumber,
                                 SenvoVersion::patchNumber);
    return QStringLiteral("Version %1.%2.%3")
        .arg(version.majorVersion())
        .arg(version.minorVersion())
        .arg(version.microVersion());
}

QString frmAbout::unavailableMessage()
{
    return QStringLiteral("System Information Is Unavailable At This Time");
}

void frmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // An etched rule above the buttons: a grey line with a white one just below it.
    QPainter painter(this);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    painter.drawLine(Twips::toPixelsX(*this, 90), Twips::toPixelsY(*this, 2445),
                     Twips::toPixelsX(*this, 5654), Twips::toPixelsY(*this, 2445));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(Twips::toPixelsX(*this, 105), Twips::toPixelsY(*this, 2460),
                     Twips::toPixelsX(*this, 5654), Twips::toPixelsY(*this, 2460));
}

void frmAbout::Form_Load()
{
    const QString title = QCoreApplication::applicationName();
    setWindowTitle(QStringLiteral("About ") + title);
    m_lblVersion->setText(versionText(QCoreApplication::applicationVersion()));
    m_lblTitle->setText(title);
}

void frmAbout::cmdSysInfo_Click()
{
    SysInfoLauncher launcher(*m_registry, *m_launcher);
    if (!launcher.StartSysInfo())
        showUnavailable();
}

void frmAbout::showUnavailable()
{
    showNotice(this, QMessageBox::NoIcon, unavailableMessage(), u"sysInfoUnavailable"_qs);
}

QRect frmAbout::twips(int x, int y, int width, int height) const
{
    return Twips::toPixels(*this, x, y, width, height);
}
