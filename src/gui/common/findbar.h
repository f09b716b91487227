#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

// The one-line "find a host" field, a "Problems only" box and how many hosts match, shown in
// the window's status line while a find is on (or, where it finds other than hosts, such as
// events, always on, with a prompt of its own). Esc ends the find; Enter or Down goes on to
// the table.
class FindBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindBar)

public:
    explicit FindBar(QWidget *parent = nullptr);

    QString text() const;
    bool problemsOnly() const;
    void setProblemsOnly(bool problemsOnly);
    void setCount(const QString &count);
    // What the field asks for and what the box keeps, where the bar finds other than hosts.
    void setPrompt(const QString &placeholder, const QString &problemsOnlyTip);
    // Shows the bar with the field focused and its text selected, for typing over.
    void start();

Q_SIGNALS:
    void textChanged(const QString &text);
    void problemsOnlyChanged(bool problemsOnly);
    void ended();
    void toTable();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *const m_field;
    QCheckBox *const m_problemsOnly;
    QLabel *const m_count;
};
