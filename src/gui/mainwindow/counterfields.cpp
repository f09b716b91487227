#include "counterfields.h"

#include "engine/reception/datagramreceiver.h"
#include "engine/tableview/counterformat.h"
#include "gui/common/designfont.h"
#include "gui/common/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <tuple>
#include <utility>

namespace {

// Where the counters stand, in twips: on the status line's right, with room for 7 digits.
constexpr double packetsLabelX = 5160;
constexpr double packetsX = 6840;
constexpr double packetsWidth = 615;
constexpr double bytesLabelX = 7440;
constexpr double bytesX = 9240;
constexpr double bytesWidth = 1095;

} // namespace

CounterFields::CounterFields(DatagramReceiver &receiver, QWidget *client)
    : QObject(client)
    , m_receiver(receiver)
    , m_client(client)
{
    const QFont font = client->font();
    auto counter = [&](const QString &labelText, const QString &name, QRect labelRect,
                       QRect fieldRect) {
        auto *label = new QLabel(labelText, client);
        label->setFont(designFont(font, true));
        label->setGeometry(labelRect);
        auto *field = new QLineEdit(u"0"_qs, client);
        field->setObjectName(name);
        field->setFont(designFont(font, false));
        field->setFrame(false);
        field->setTextMargins(0, 0, 0, 0);
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(u"[0-9]{0,17}(\\.[0-9]*)?([Ee]\\+?[0-9]{0,3})?"_qs), field));
        // The platform's font may be taller than the line allows: never clip the digits.
        fieldRect.setHeight(std::max(fieldRect.height(), field->fontMetrics().height() + 2));
        field->setGeometry(fieldRect);
        // Counters look like part of the window, yet stay editable.
        QPalette flat = field->palette();
        flat.setColor(QPalette::Base, flat.color(QPalette::Window));
        field->setPalette(flat);
        field->setAccessibleName(labelText);
        label->setBuddy(field);
        return std::pair(label, field);
    };
    std::tie(m_packetsLabel, m_packetsReceived) =
        counter(tr("Packets Received:"), u"PacketsReceived"_qs,
                Twips::toPixels(*client, packetsLabelX, 0, 1815, 255),
                Twips::toPixels(*client, packetsX, 0, packetsWidth, 195));
    std::tie(m_bytesLabel, m_receivedBytes) =
        counter(tr("Bytes Received:"), u"ReceivedBytes"_qs,
                Twips::toPixels(*client, bytesLabelX, 0, 1575, 255),
                Twips::toPixels(*client, bytesX, 0, bytesWidth, 165));
    m_receivedBytes->setForegroundRole(QPalette::WindowText);
    m_packetsReceived->raise();
    layout();

    connect(m_packetsReceived, &QLineEdit::editingFinished, this, [this] {
        takeTyped(m_packetsReceived, &DatagramReceiver::setPackets, m_receiver.packets());
    });
    connect(m_receivedBytes, &QLineEdit::editingFinished, this, [this] {
        takeTyped(m_receivedBytes, &DatagramReceiver::setBytes, m_receiver.bytes());
    });
}

int CounterFields::left() const
{
    return m_packetsLabel->x();
}

int CounterFields::lineHeight() const
{
    return m_packetsReceived->height();
}

int CounterFields::bottom() const
{
    return m_packetsReceived->geometry().bottom();
}

void CounterFields::update()
{
    // A field the user is typing into is left alone until the typing is done.
    if (!m_packetsReceived->isModified())
        m_packetsReceived->setText(generalNumber(m_receiver.packets()));
    if (!m_receivedBytes->isModified())
        m_receivedBytes->setText(generalNumber(m_receiver.bytes()));
    layout();
}

// The counters' places hold short numbers. Longer ones push the counters to the left, so
// that every digit stays in view.
void CounterFields::layout()
{
    const QWidget &client = *m_client;
    const auto widthFor = [&client](const QLineEdit *field, double twips) {
        constexpr int innerMargins = 6;
        return std::max(Twips::toPixelsX(client, twips),
                        field->fontMetrics().horizontalAdvance(field->text()) + innerMargins);
    };
    const auto place = [](QWidget *widget, int x, int width) {
        widget->setGeometry(x, widget->y(), width, widget->height());
    };
    const int bytesRight = Twips::toPixelsX(client, bytesX + bytesWidth);
    const int bytes = widthFor(m_receivedBytes, bytesWidth);
    place(m_receivedBytes, bytesRight - bytes, bytes);
    place(m_bytesLabel, m_receivedBytes->x() - Twips::toPixelsX(client, bytesX - bytesLabelX),
          m_bytesLabel->width());
    const int packetsRight = std::min(Twips::toPixelsX(client, packetsX + packetsWidth),
                                      m_bytesLabel->x() + Twips::toPixelsX(client, 15));
    const int packets = widthFor(m_packetsReceived, packetsWidth);
    place(m_packetsReceived, packetsRight - packets, packets);
    place(m_packetsLabel,
          m_packetsReceived->x() - Twips::toPixelsX(client, packetsX - packetsLabelX),
          m_packetsLabel->width());
}

void CounterFields::takeTyped(QLineEdit *field, void (DatagramReceiver::*set)(double),
                              double current)
{
    // Enter, or a click elsewhere, without typing must not set the count back to what was
    // last shown.
    if (!field->isModified())
        return;
    const std::optional<double> typed = counterFromText(field->text());
    (m_receiver.*set)(typed.value_or(current));
    field->setModified(false);
    Q_EMIT countTyped();
}
