#pragma once

#include "interfaces/connection_test_window.h"
#include "interfaces/profile_window.h"
#include "interfaces/transfer_request.h"
#include "ui/description_window.h"
#include "ui/help_window.h"
#include "ui/run_presenter.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>

class ConnectionTest;
class DestinationEditor;
class FaultPresenter;
class GridControl;
class ProfileCommands;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class RunSession;

/// The main window: File list, Destination table with its in-place editor, working directory,
/// profile name, status line, the commands and the menu.
class FTP_Information final : public QMainWindow, public ProfileWindow, public ConnectionTestWindow
{
    Q_OBJECT
public:
    /// `session` runs Process Request and Send again; `connectionTest` opens the console of Test
    /// the Connection; `profiles` saves and gets the Profile files of the start-up directory. All
    /// must outlive the window.
    FTP_Information(RunSession &session, ConnectionTest &connectionTest, ProfileCommands &profiles,
                    QWidget *parent = nullptr);
    ~FTP_Information() override;

    // The window's controls, named as the rest of the program knows them.
    QLabel *Label1;
    GridControl *frmFileList;
    QPushButton *frmFilesToFTP;
    QLabel *Label8;
    QLabel *Label2;
    QPushButton *CmdGet;
    QPushButton *cmdProfileSave;
    QLineEdit *frmWorkingDirectory;
    QComboBox *frmProfile;
    GridControl *frmFTPTo;
    QLineEdit *frmInputBox; // the in-place editor's text box; its content may follow later
    QLabel *Label3;
    QPushButton *cmdProcess;
    QPushButton *cmdTest;
    QPushButton *cmdExit;
    QLabel *frmMessage;
    QMenu *mnuFile;
    QAction *mnuHelp;
    QAction *mnuSimultaneous;
    QAction *mnuTransferSettings;
    QAction *mnuResults;
    QAction *mnuExit;

    /// The start-up directory: where profiles and the help file are looked for.
    QString startupDirectory() const;

    /// While set, the Destination table's cell-entered reaction and the commit do nothing (a
    /// profile load moving the current cell over the table sets it).
    bool gridBusy() const { return m_gridBusy; }
    void setGridBusy(bool busy) override { m_gridBusy = busy; }

    /// The in-place editor of the Destination table.
    DestinationEditor &editor() const { return *m_editor; }

    /// Replaces the modal message box (tests record the messages instead of waiting for OK).
    void setMessageSink(std::function<void(const QString &text, const QString &title)> sink);
    /// Replaces the file-open dialog: returns the chosen full paths, empty when cancelled.
    void setFileChooser(std::function<QStringList()> chooser)
    {
        m_fileChooser = std::move(chooser);
    }
    /// Replaces the ending of the program (by default the event loop's end).
    void setProgramEnder(std::function<void()> ender) { m_programEnder = std::move(ender); }

    /// The Help and Description windows while they are open; null otherwise.
    Help *helpWindow() const { return m_help; }
    Description *descriptionWindow() const { return m_description; }

    /// How many destinations a run serves at once, for this window's runs only (the menu's
    /// choice is also kept for the user).
    void setSimultaneousTransfers(int count)
    {
        m_simultaneous = std::clamp(count, kMinSimultaneous, kMaxSimultaneous);
    }

    /// The transfer settings of this window's runs and connection tests (the menu's choice is also
    /// kept for the user).
    void setTransferSettings(const TransferSettings &settings) { m_transferSettings = settings; }
    const TransferSettings &transferSettings() const { return m_transferSettings; }

    /// The Results window (hidden until a run leaves a destination unsent or the menu opens it).
    ResultsWindow *resultsWindow() const { return m_runs->resultsWindow(); }
    /// The progress window of a running transfer.
    TransferProgress *progressWindow() const { return m_runs->progressWindow(); }

    /// A modal message box with an OK button only and no icon; returns when it is dismissed.
    void showMessage(const QString &text, const QString &title);

    // ConnectionTestWindow
    DestinationGrid &destinationGrid() override;
    QString workingDirectoryText() const override;
    void setStatusText(const QString &text) override;

    // ProfileWindow
    QString profileName() const override;
    void setProfileName(const QString &name) override;
    void addProfileName(const QString &name) override;
    void commitPendingEdit() override;
    void hideEditor() override;

public Q_SLOTS:
    void Form_Load();
    void frmFilesToFTP_Click();
    void frmFileList_Click();
    void frmFTPTo_Click();
    void frmFTPTo_DblClick();
    void frmFTPTo_EnterCell();
    /// The commit of the pending cell edit; also called directly by commands that read the table.
    void frmFTPTo_LeaveCell();
    void frmFTPTo_Scroll();
    void frmInputBox_KeyDown(int keyCode, int shift);
    void CmdGet_Click();
    void cmdProfileSave_Click();
    void cmdProcess_Click();
    void cmdTest_Click();
    void cmdExit_Click();
    void mnuHelp_Click();
    void mnuSimultaneous_Click();
    void mnuTransferSettings_Click();
    void mnuResults_Click();
    void mnuExit_Click();

    /// The program was asked to end (Cancel/Exit, the menu's Exit, the window's close, a signal
    /// from outside): a run is cancelled as its Cancel does and the program ends once the run has
    /// cleaned up; without a run it ends at once.
    void terminationRequested();

    /// Writes the full paths of a file-open dialog's name list into the File list from its first
    /// empty row on; a list that does not fit is refused whole.
    void AddSelectedFiles(const QString &nameList);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    /// The window's close ends the program as Cancel/Exit does.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void followWindowSize();
    void buildMenu();
    void setTabOrder();
    void endProgram();
    QStringList chooseFiles();

    QWidget *m_client;
    DestinationEditor *m_editor;
    RunSession &m_session;
    ProfileCommands &m_profiles;
    ConnectionTest &m_connectionTest;
    std::unique_ptr<FaultPresenter> m_faults;
    QPointer<Help> m_help;
    QPointer<Description> m_description;
    RunPresenter *m_runs;
    int m_simultaneous;
    TransferSettings m_transferSettings;
    bool m_gridBusy = false;
    bool m_endAfterRun = false;
    std::function<QStringList()> m_fileChooser;
    std::function<void()> m_programEnder;
};
