#pragma once

#include <QString>
#include <QWidget>

#include <functional>

// One page of the Settings window: it holds the user's edit of one part of the settings until
// the window's OK, which checks every changed page before it applies any.
class SettingsPage : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsPage)

public:
    // Puts what a page edits in force; returns what went wrong, empty when it is applied.
    template<class Edited> using Apply = std::function<QString(const Edited &)>;

    // What the user is told, and the objectName of the message that tells it.
    struct Outcome
    {
        QString message; // empty when all is well
        QString name;
    };

    // title names the page in the list and in the window's messages.
    explicit SettingsPage(const QString &title, QWidget *parent = nullptr);

    QString title() const { return m_title; }

    // Whether the edit differs from what is in force; an edit still open in a field counts.
    virtual bool isChanged() = 0;
    // A mistake that keeps the edit from being applied.
    virtual Outcome check() { return {}; }
    virtual Outcome apply() = 0;

private:
    const QString m_title;
};
