#include "onscreen.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

void OnScreen::call(QWidget *window, std::function<void()> function)
{
    new OnScreen(window, std::move(function));
}

OnScreen::OnScreen(QWidget *window, std::function<void()> function)
    : QObject(window)
    , m_window(window)
    , m_function(std::move(function))
{
    m_window->installEventFilter(this);
    watchPlatformWindow();
    QTimer::singleShot(0, this, &OnScreen::callIfOnScreen);
}

// The platform window exists from the first show on.
void OnScreen::watchPlatformWindow()
{
    QWindow *const handle = m_window->windowHandle();
    if (!handle || handle == m_platformWindow)
        return;
    m_platformWindow = handle;
    handle->installEventFilter(this);
}

bool OnScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Show)
        watchPlatformWindow();
    // Let the exposure, and the geometry that came with it, be handled first.
    if (watched == m_platformWindow && event->type() == QEvent::Expose)
        QTimer::singleShot(0, this, &OnScreen::callIfOnScreen);
    return QObject::eventFilter(watched, event);
}

void OnScreen::callIfOnScreen()
{
    if (!m_function || !m_window->isVisible() || !m_platformWindow
        || !m_platformWindow->isExposed())
        return;
    const std::function<void()> function = std::exchange(m_function, nullptr);
    deleteLater();
    function();
}
