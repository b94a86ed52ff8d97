#pragma once

#include "sync/ManualClient.h"
#include "sync/TimeProtocol.h"
#include "ui/HostRows.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QGroupBox;
class clsHost;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;
struct ProgramState;

// The Time Servers window: two live clocks, the server list of Hosts with each server's
// status image, active check box, last synchronization and correction, the commands New,
// Edit, Delete and Synchronize, a status bar and the progress bar of a synchronization
// by hand. What a row shows is decided by HostRows; the list's edits go through the
// collection's rules (clsHosts), and the check boxes go back into HostActive when it closes.
//
// While it exists, HostsShowing is 1. It is released when it closes; Escape closes it as
// its close button does.
class frmHosts : public QWidget
{
    Q_OBJECT

public:
    static constexpr int HeaderInterval = 500;    // milliseconds
    static constexpr int ProgressInterval = 1000; // milliseconds
    static constexpr int ProgressMaximum = 20;    // ticks of Timer1, one a second
    static constexpr int KeyRole = Qt::UserRole;  // the entry's key: the server's HostPath
    static constexpr int StateRole = Qt::UserRole + 1; // the entry's RowState

    using RowState = HostRows::RowState;

    // port: where the window asks for the time; tests move it off 37.
    explicit frmHosts(ProgramState &state, quint16 port = TimeProtocol::Port, QWidget *parent = nullptr);

    // Empties the list and fills it again from Hosts.
    void RefreshServerList();
    // Places every element for the window's current size.
    void ArrangeControls();
    // The text the user accepted in the input dialog, or empty when the dialog was left
    // any other way.
    QString GetInput(const QString &theTitle, const QString &thePrompt, const QString &theValue);

    void tmrHeaders_Timer();
    void cmdNew_Click();
    // Edit and Delete work on the selected entry; Enter, a double-click and the Delete key
    // do what these buttons do.
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdTest_Click();
    void Timer1_Timer();
    void BeginBusy();
    void EndBusy();
    // The closing steps: the check boxes go back into HostActive, HostsShowing becomes 0,
    // an attempt under way is abandoned, then Unloaded. Runs once, when the window closes
    // or when the program ends while it is open.
    void Form_Unload();

    // The entry's key, or empty for none.
    static QString keyOf(const QTreeWidgetItem *item);
    static RowState stateOf(const QTreeWidgetItem *item);
    QTreeWidgetItem *itemOf(const QString &key) const;
    QString statusText() const;
    ManualClient &manualClient() { return mClient; }

    QGroupBox *Frame1;
    QLabel *lblLocal;
    QGroupBox *Frame2;
    QLabel *lblUniversal;
    QTreeWidget *ListView1;
    QPushButton *cmdNew;
    QPushButton *cmdEdit;
    QPushButton *cmdDelete;
    QPushButton *cmdTest;
    QStatusBar *StatusBar1;
    QProgressBar *ProgressBar1;
    QTimer tmrHeaders; // the clocks
    QTimer Timer1;     // the progress bar while a synchronization by hand runs

signals:
    // The window has written its check boxes back, cleared HostsShowing and closed its
    // connection: the data may be saved and the automatic client may start.
    void Unloaded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void tcpClient_Waiting(const QString &text);
    void tcpClient_Finished(const ManualOutcome &outcome);
    // Adds the entry of a record at the end of the list.
    QTreeWidgetItem *addEntry(const clsHost &record);
    // The "Last Synchronization" and "Correction" texts and the image of a record.
    void showRecord(QTreeWidgetItem *item, const clsHost &record);
    void setStatusText(const QString &text);
    // The entry's status image and its bold type, each with the words that say the row's
    // state to screen readers and in the tool tip.
    static void setState(QTreeWidgetItem *item, RowState state);
    static void setBold(QTreeWidgetItem *item, bool bold);
    // A cell's shown text and the name screen readers get for it.
    static void setCell(QTreeWidgetItem *item, int column, const HostRows::Cell &cell);
    static void describe(QTreeWidgetItem *item);
    QTreeWidgetItem *selectedItem() const;
    void sortList();
    // The constructor's parts, in their order.
    void createClocks();
    void createServerList();
    void createButtons();
    void createStatusBar();
    void createAccessibleNames();
    void connectEvents();
    void applyFonts();

    ProgramState &mState;
    ManualClient mClient;
    QLabel *mStatusText;
    bool mUnloaded = false;
};
