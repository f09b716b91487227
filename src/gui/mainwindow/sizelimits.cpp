#include "sizelimits.h"

#include "gui/common/twips.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

SizeLimits::SizeLimits(QWidget *window, QSizeF minimumTwips, QSizeF maximumTwips)
    : QObject(window)
    , m_window(window)
    , m_minimum(minimumTwips)
    , m_maximum(maximumTwips)
{
    window->installEventFilter(this);
}

bool SizeLimits::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
            apply();
            break;
        case QEvent::Resize:
            resized();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void SizeLimits::apply()
{
    QWidget &window = *m_window;
    // The limits hold for the outer size, frame and title bar included.
    const QSize frame = window.frameGeometry().size() - window.size();
    const QSize minimum = Twips::toPixels(window, m_minimum.width(), m_minimum.height()) - frame;
    const QSize maximum = Twips::toPixels(window, m_maximum.width(), m_maximum.height()) - frame;
    if (window.minimumSize() != minimum)
        window.setMinimumSize(minimum);
    if (window.maximumSize() != maximum)
        window.setMaximumSize(maximum);
}

void SizeLimits::resized()
{
    QWidget &window = *m_window;
    if (window.isMinimized())
        return;
    apply();
    const QSize outer = window.frameGeometry().size();
    const QSize allowed =
        outer.expandedTo(Twips::toPixels(window, m_minimum.width(), m_minimum.height()))
            .boundedTo(Twips::toPixels(window, m_maximum.width(), m_maximum.height()));
    // Some window managers ignore size hints: set the size back, but only once for a given
    // size, so that one that insists does not start an endless exchange.
    if (allowed != outer && outer != m_refusedSize) {
        m_refusedSize = outer;
        QTimer::singleShot(0, m_window, [this] { m_window->resize(m_window->size()); });
    }
}
