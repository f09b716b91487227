#pragma once

#include "mainwindow/tablefullnotice.h"
#include "reception/datagramreceiver.h"
#include "reception/readingstable.h"
#include "settings/portsetting.h"

#include <QMainWindow>
#include <QPointer>

class DatagramSocket;
class FindBar;
class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class ReadingsView;
class TableSaver;
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

    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void findHost(const QString &text);
    void showFindBar();
    void endFind();
    // Asks how to name the file, then saves.
    void saveTableAs();
    // Saves the hosts shown to a CSV file, in the background; false, having told the user
    // why, when it cannot start. saveFinished() follows a start.
    bool saveTable(const QString &path);
    // Asks first; the counters stay.
    void clearTable();

Q_SIGNALS:
    void saveFinished(bool saved);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void createMenus();
    void createEditMenu();
    void createOptions();
    void afterRemoval();
    void updateFindCount();
    void updateSaving();
    void saved(bool saved);
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
    ReadingsView *m_grid = nullptr;
    FindBar *m_findBar = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_clearAction = nullptr;
    QPointer<TableSaver> m_saver;
    QString m_saveFolder;
    bool m_unloading = false;
    QSize m_refusedSize;
};
