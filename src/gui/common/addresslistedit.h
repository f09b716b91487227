#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// A list of addresses and prefixes, one a line, each line that is not one marked as typed.
class AddressListEdit final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressListEdit)

public:
    explicit AddressListEdit(const QStringList &entries, QWidget *parent = nullptr);

    QStringList lines() const { return toPlainText().split(u'\n'); }
    // Marks the lines at fault; says which is the first, and how many more there are, as
    // "Line N: why"; empty when every line is sound.
    QString checkLines();

Q_SIGNALS:
    // The text was checked again; problem as checkLines() gives it.
    void checked(const QString &problem);
};
