#pragma once

#include <QDialog>

class Monitor;
class QComboBox;
class QLabel;
class QPlainTextEdit;

// "Senvo-Net Senders": the address to listen on and the senders let through, one address or
// prefix a line, each checked as it is typed. OK writes Senvo-Net.json, whole or not at all,
// and applies at once; it stays open when a line is not an address or the address cannot be
// listened on. Modeless: readings keep arriving while it is open.
class SendersSettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendersSettingsDialog)

public:
    // monitor must outlive the dialog.
    explicit SendersSettingsDialog(Monitor &monitor, QWidget *parent = nullptr);

    QComboBox *addressChoice() const { return m_address; }
    QPlainTextEdit *sendersEdit() const { return m_senders; }
    // What is said under the list about its mistakes; empty when there are none.
    QString problemText() const;

    void accept() override;

private:
    // The first line at fault, as "line N, "text": why"; empty when every line is sound.
    QString checkLines();

    Monitor &m_monitor;
    QComboBox *const m_address;
    QPlainTextEdit *const m_senders;
    QLabel *const m_problem;
};
