#pragma once

#include <QPointer>
#include <QWidget>

// Shows window and brings it forward, out of the taskbar when minimized.
void bringForward(QWidget *window);

// One window of a kind at a time: asking again brings the open one forward; make() gives a
// new one when there is none.
template<class Window, class Make> Window *raiseOrCreate(QPointer<Window> &window, Make make)
{
    if (!window)
        window = make();
    bringForward(window);
    return window;
}
