#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;
class QWindow;

// Calls a function once a window is on screen, and so placed by the window manager: a
// message opened before that is centred over a window that has no place yet, which lands it
// in a corner of the screen.
class OnScreen final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnScreen)

public:
    // The function runs at most once, and not at all if the window goes first.
    static void call(QWidget *window, std::function<void()> function);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    OnScreen(QWidget *window, std::function<void()> function);
    void watchPlatformWindow();
    void callIfOnScreen();

    QWidget *const m_window;
    QPointer<QWindow> m_platformWindow;
    std::function<void()> m_function;
};
