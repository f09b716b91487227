#pragma once

#include <QObject>
#include <QSize>
#include <QSizeF>

class QWidget;

// Keeps a window's outer size, frame and title bar included, within limits given in
// twips, also under a window manager that ignores size hints.
class SizeLimits final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SizeLimits)

public:
    SizeLimits(QWidget *window, QSizeF minimumTwips, QSizeF maximumTwips);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();
    void resized();

    QWidget *const m_window;
    const QSizeF m_minimum;
    const QSizeF m_maximum;
    QSize m_refusedSize;
};
