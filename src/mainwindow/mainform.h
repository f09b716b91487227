#pragma once

#include "reception/datagramreceiver.h"
#include "reception/readingstable.h"
#include "reception/tablefullnotice.h"
#include "settings/portsetting.h"

#include <QMainWindow>
#include <QPointer>

class DatagramSocket;
class QDialog;
class QLabel;
class QLineEdit;
class QTableView;
class frmOptions;

// The one main window: counters, the readings table, the menus, and the receiver.
class MainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

public:
    // Limits of the window's outer size, and the margins the table leaves, in twips.
    static constexpr double minimumWidth = 5000;
    static constexpr double maximumWidth = 10575;
    static constexpr double minimumHeight = 1000;
    static constexpr double maximumHeight = 5000;
    static constexpr double tableWidthMargin = 325;
    static constexpr double tableHeightMargin = 900;

    // Takes ownership of socket; without one the platform's own is used. The table reads
    // the time from clock, which must outlive the window, or from its own.
    explicit MainForm(const SettingsFile &settings, QWidget *parent = nullptr,
                      DatagramSocket *socket = nullptr, const ReceiveClock *clock = nullptr);
    ~MainForm() override;

    DatagramReceiver &receiver() { return m_receiver; }
    ReadingsTable &table() { return m_table; }
    frmOptions *options() const;
    QDialog *about() const;
    // What the status line tells about the receiver.
    QString listeningStatus() const;

    void showOptions();
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void createMenus();
    void createOptions();
    void updateCounters();
    void layoutCounters();
    void takeTypedCounter(QLineEdit *field, void (DatagramReceiver::*set)(double), double current);
    void updateListeningStatus();
    void applySizeLimits();
    void unloadOptions();

    ReadingsTable m_table;
    DatagramReceiver m_receiver;
    PortSetting m_portSetting;
    TableFullNotice m_tableFull;
    QPointer<frmOptions> m_options;
    QPointer<QDialog> m_about;
    QLabel *m_status = nullptr;
    QLabel *m_packetsLabel = nullptr;
    QLabel *m_bytesLabel = nullptr;
    QLineEdit *m_packetsReceived = nullptr;
    QLineEdit *m_receivedBytes = nullptr;
    QTableView *m_grid = nullptr;
    bool m_unloading = false;
    QSize m_refusedSize;
};
