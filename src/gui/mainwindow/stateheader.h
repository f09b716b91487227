#pragma once

#include <QHeaderView>

// A header whose sections show the colour the model gives them. Some styles (the Windows
// look among them) draw every section in the theme's own colour and keep only the text
// colour, which leaves a coloured host's white name on white.
class StateHeader final : public QHeaderView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StateHeader)

public:
    explicit StateHeader(Qt::Orientation orientation, QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};
