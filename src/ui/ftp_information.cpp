#include "ui/ftp_information.h"

#include "connection_test/connection_test.h"
#include "platform/dir_search.h"
#include "platform/paths.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "transfer/request_checks.h"
#include "transfer/run_session.h"
#include "transfer/value_checks.h"
#include "ui/controls/grid_control.h"
#include "ui/controls/wrapping_button.h"
#include "ui/destination_editor.h"
#include "ui/fault_presenter.h"
#include "ui/file_selection.h"
#include "ui/growing_layout.h"
#include "ui/results_window.h"
#include "ui/simultaneous_transfers_dialog.h"
#include "ui/transfer_settings_dialog.h"
#include "ui/twips.h"
#include "ui/user_settings.h"
#include "ui/window_design.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

namespace {

/// Window client area, in twips.
constexpr int kClientWidth = 11610;
constexpr int kClientHeight = 7365;

/// A heading followed by its blanks, as one field of a grid's format text.
QString formatField(const QString &heading, int blanks)
{
    return QLatin1Char('<') + heading + QString(blanks, QLatin1Char(' '));
}

} // namespace

FTP_Information::FTP_Information(RunSession &session, ConnectionTest &connectionTest,
                                 ProfileCommands &profiles, QWidget *parent)
    : QMainWindow(parent), m_client(new QWidget(this)), m_session(session), m_profiles(profiles),
      m_connectionTest(connectionTest), m_simultaneous(UserSettings().simultaneousTransfers()),
      m_transferSettings(UserSettings().transferSettings())
{
    WindowDesign::setUp(this, QStringLiteral("Tallowmere- Parcelwright"), m_client);
    setCentralWidget(m_client);

    buildControls();
    buildMenu();
    setTabOrder();
    followWindowSize();
    m_faults = std::make_unique<FaultPresenter>(*this, *frmFTPTo);
    m_runs = new RunPresenter(m_session, *this, *frmFTPTo, *m_faults, *this,
                              [this] { commitPendingEdit(); });
    // A run may have been asked to end the program: it ends once the run has cleaned up.
    connect(m_runs, &RunPresenter::runEnded, this, [this] {
        if (m_endAfterRun)
            endProgram();
    });

    Form_Load();
}

FTP_Information::~FTP_Information() = default;

void FTP_Information::buildControls()
{
    using Twips::place;
    const auto label = [this](const QString &text) {
        auto *control = new QLabel(text, m_client);
        control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return control;
    };
    const auto button = [this](const QString &text) {
        auto *control = new WrappingButton(text, m_client);
        control->setAutoDefault(false);
        return control;
    };

    Label1 = label(QStringLiteral("List of files to FTP:"));
    Label1->setFont(Twips::sansSerif(12));
    place(Label1, 120, 240, 2055, 375);

    frmFileList = new GridControl(kGridRowCount, 1, m_client);
    frmFileList->setFormatString(formatField(QStringLiteral("File Names"), 176));
    // A long path is cut at the column's edge; its tool tip shows it whole. The Destination table
    // shows none: its cells hold passwords.
    frmFileList->setEntryToolTips(true);
    place(frmFileList, 2160, 240, 9255, 2295);

    frmFilesToFTP = button(QStringLiteral("Browse for files:"));
    place(frmFilesToFTP, 120, 840, 1575, 375);

    Label8 = label(QStringLiteral("Working Directory:"));
    place(Label8, 120, 2640, 1455, 255);

    Label2 = label(QStringLiteral("Profile Name:"));
    place(Label2, 4800, 2640, 1095, 255);

    CmdGet = button(QStringLiteral("Get Profile"));
    place(CmdGet, 8760, 2760, 1215, 495);

    cmdProfileSave = button(QStringLiteral("Save/Update Profile"));
    place(cmdProfileSave, 10200, 2760, 1215, 495);

    frmWorkingDirectory = new QLineEdit(UserSettings().workingDirectory(), m_client);
    place(frmWorkingDirectory, 120, 2880, 4575, 285);

    frmProfile = new QComboBox(m_client);
    frmProfile->setEditable(true);
    frmProfile->setInsertPolicy(QComboBox::NoInsert);
    place(frmProfile, 4800, 2880, 3735, 315);

    frmFTPTo = new GridControl(kGridRowCount, kDestinationColumnCount, m_client);
    frmFTPTo->setFormatString(
        formatField(QStringLiteral("Secure Shell"), 1) + QLatin1Char('|') +
        formatField(QStringLiteral("IP Address/URL to FTP to"), 15) + QLatin1Char('|') +
        formatField(QStringLiteral("Remote Directory (Blank = Root)(/=Secure, \\=UnSecure)"), 7) +
        QLatin1Char('|') + formatField(QStringLiteral("User Id (FTP Sign-on)"), 1) +
        QLatin1Char('|') + formatField(QStringLiteral("Password"), 7));
    place(frmFTPTo, 120, 3360, 11295, 2535);

    m_editor = new DestinationEditor(*frmFTPTo, m_client);
    frmInputBox = m_editor->textBox();
    place(frmInputBox, 1200, 3960, 2535, 285);

    Label3 = label(QStringLiteral("Select an IP Address first"));
    place(Label3, 2280, 6000, 1935, 255);

    cmdProcess = button(QStringLiteral("Process Request"));
    place(cmdProcess, 120, 6240, 1695, 375);

    cmdTest = button(QStringLiteral("Test the Connection"));
    place(cmdTest, 2280, 6240, 1695, 375);

    cmdExit = button(QStringLiteral("Cancel/Exit"));
    place(cmdExit, 4440, 6240, 1695, 375);

    // The platform's sans serif runs wider than the designed font: captions that no longer fit
    // wrap below (Label1, beside the File list) or take the free room to their right.
    Label1->setWordWrap(true);
    Label1->resize(Label1->width(), Label1->heightForWidth(Label1->width()));
    for (QLabel *caption : {Label8, Label2, Label3})
        caption->resize(std::max(caption->width(), caption->sizeHint().width()), caption->height());

    frmMessage = label(QString());
    frmMessage->setWordWrap(true);
    place(frmMessage, 0, 6720, 11655, 615);

    connect(frmFilesToFTP, &QPushButton::clicked, this, &FTP_Information::frmFilesToFTP_Click);
    connect(frmFileList, &GridControl::cellClicked, this, &FTP_Information::frmFileList_Click);
    connect(frmFTPTo, &GridControl::cellClicked, this, &FTP_Information::frmFTPTo_Click);
    connect(frmFTPTo, &GridControl::cellDoubleClicked, this, &FTP_Information::frmFTPTo_DblClick);
    connect(frmFTPTo, &GridControl::cellEntered, this, &FTP_Information::frmFTPTo_EnterCell);
    connect(frmFTPTo, &GridControl::cellLeaving, this, &FTP_Information::frmFTPTo_LeaveCell);
    connect(frmFTPTo, &GridControl::scrolled, this, &FTP_Information::frmFTPTo_Scroll);
    connect(CmdGet, &QPushButton::clicked, this, &FTP_Information::CmdGet_Click);
    connect(cmdProfileSave, &QPushButton::clicked, this, &FTP_Information::cmdProfileSave_Click);
    connect(cmdProcess, &QPushButton::clicked, this, &FTP_Information::cmdProcess_Click);
    connect(cmdTest, &QPushButton::clicked, this, &FTP_Information::cmdTest_Click);
    connect(cmdExit, &QPushButton::clicked, this, &FTP_Information::cmdExit_Click);
    connect(m_editor, &DestinationEditor::keyDown, this, &FTP_Information::frmInputBox_KeyDown);
}

void FTP_Information::followWindowSize()
{
    // The designed size is the size at start and the smallest: the File list and the Destination
    // table share what the window grows by, and the controls below each follow its bottom edge.
    const QSize designed = Twips::toPixels(this, kClientWidth, kClientHeight);
    auto *layout = new GrowingLayout(m_client, designed);
    using Edge = GrowingLayout::Edge;
    const Edge stays = Edge::Stays, right = Edge::WithRight, half = Edge::WithHalfHeight,
               bottom = Edge::WithBottom;
    // clang-format off
    layout->add(frmFileList,         stays, stays,  right, half);
    layout->add(Label8,              stays, half,   stays, half);
    layout->add(frmWorkingDirectory, stays, half,   stays, half);
    layout->add(Label2,              stays, half,   stays, half);
    layout->add(frmProfile,          stays, half,   stays, half);
    layout->add(CmdGet,              right, half,   right, half);
    layout->add(cmdProfileSave,      right, half,   right, half);
    layout->add(frmFTPTo,            stays, half,   right, bottom);
    layout->add(Label3,              stays, bottom, stays, bottom);
    layout->add(cmdProcess,          stays, bottom, stays, bottom);
    layout->add(cmdTest,             stays, bottom, stays, bottom);
    layout->add(cmdExit,             stays, bottom, stays, bottom);
    layout->add(frmMessage,          stays, bottom, right, bottom);
    // clang-format on
    m_client->setMinimumSize(designed);
    resize(designed.width(), designed.height() + menuBar()->sizeHint().height());
}

void FTP_Information::buildMenu()
{
    menuBar()->setFont(font());
    mnuFile = menuBar()->addMenu(QStringLiteral("Menu Options"));
    mnuHelp = mnuFile->addAction(QStringLiteral("Help"));
    mnuHelp->setShortcut(QKeySequence(Qt::Key_F1));
    mnuSimultaneous = mnuFile->addAction(QStringLiteral("Simultaneous transfers..."));
    mnuTransferSettings = mnuFile->addAction(QStringLiteral("Transfer settings..."));
    mnuResults = mnuFile->addAction(QStringLiteral("Results of the last run"));
    mnuResults->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    // The keys work from anywhere in the window, the in-place editor included.
    mnuHelp->setShortcutContext(Qt::WindowShortcut);
    mnuResults->setShortcutContext(Qt::WindowShortcut);
    mnuExit->setShortcutContext(Qt::WindowShortcut);
    connect(mnuHelp, &QAction::triggered, this, &FTP_Information::mnuHelp_Click);
    connect(mnuSimultaneous, &QAction::triggered, this, &FTP_Information::mnuSimultaneous_Click);
    connect(mnuTransferSettings, &QAction::triggered, this,
            &FTP_Information::mnuTransferSettings_Click);
    connect(mnuResults, &QAction::triggered, this, &FTP_Information::mnuResults_Click);
    connect(mnuExit, &QAction::triggered, this, &FTP_Information::mnuExit_Click);
    // A text box asks first whether it wants a key for itself, and on X11 a single-line one claims
    // Ctrl+E (end of line). The question reaches the box through the application, so that is
    // where the menu's keys are kept for the menu, in every text box of this window.
    qApp->installEventFilter(this);
}

bool FTP_Information::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == this) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        // Left unaccepted, the key goes on to the window's shortcuts.
        if (pressed == mnuHelp->shortcut() || pressed == mnuResults->shortcut() ||
            pressed == mnuExit->shortcut())
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FTP_Information::setTabOrder()
{
    const QList<QWidget *> order = {frmFilesToFTP,       frmFileList, cmdProcess, cmdExit,
                                    frmWorkingDirectory, frmFTPTo,    CmdGet,     frmProfile,
                                    cmdProfileSave,      frmInputBox, cmdTest};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    frmFilesToFTP->setFocus();
}

void FTP_Information::setMessageSink(
    std::function<void(const QString &text, const QString &title)> sink)
{
    m_faults->setMessageSink(std::move(sink));
}

DestinationGrid &FTP_Information::destinationGrid()
{
    return *frmFTPTo;
}

QString FTP_Information::workingDirectoryText() const
{
    return frmWorkingDirectory->text();
}

void FTP_Information::setStatusText(const QString &text)
{
    frmMessage->setText(text);
    // Only the status line has changed, so only it is painted now.
    frmMessage->repaint();
}

void FTP_Information::showMessage(const QString &text, const QString &title)
{
    m_faults->showMessage(text, title);
}

void FTP_Information::Form_Load()
{
    m_profiles.startUp(*this);
}

QString FTP_Information::startupDirectory() const
{
    return m_profiles.store().startupDirectory();
}

QString FTP_Information::profileName() const
{
    return frmProfile->currentText();
}

void FTP_Information::setProfileName(const QString &name)
{
    frmProfile->setEditText(name);
}

void FTP_Information::addProfileName(const QString &name)
{
    frmProfile->addItem(name);
}

void FTP_Information::commitPendingEdit()
{
    frmFTPTo_LeaveCell();
}

void FTP_Information::hideEditor()
{
    m_editor->close(true);
}

void FTP_Information::frmFilesToFTP_Click()
{
    setStatusText(QString());
    const QString nameList = nameListFromPaths(chooseFiles());
    if (nameList.isEmpty())
        return;
    AddSelectedFiles(nameList);
}

QStringList FTP_Information::chooseFiles()
{
    if (m_fileChooser)
        return m_fileChooser();
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // A chosen link is listed as the link itself, not as the file it points to.
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    // "*.*" would hide the many POSIX files without a dot in their name.
    dialog.setNameFilter(QStringLiteral("Input Files (*)"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void FTP_Information::AddSelectedFiles(const QString &nameList)
{
    const QStringList paths = pathsFromNameList(nameList);
    if (paths.isEmpty())
        return;
    for (const QString &path : paths) {
        // Such a name would either break a line of the clients' scripts or name another file.
        if (!isSendableFileName(path)) {
            showMessage(QStringLiteral("This file name cannot be sent: ") + withControlsShown(path),
                        QStringLiteral("Edit Error"));
            return;
        }
    }

    int firstEmpty = kFirstDataRow;
    while (firstEmpty <= kLastDataRow && !frmFileList->text(firstEmpty, 0).isEmpty())
        ++firstEmpty;
    const int freeRows = kLastDataRow - firstEmpty + 1;
    if (paths.size() > freeRows) {
        // Adding only part of a selection would leave the user guessing which files are listed.
        showMessage(QStringLiteral("The File list is full - only %1 more files fit").arg(freeRows),
                    QStringLiteral("Edit Error"));
        return;
    }
    int row = firstEmpty;
    for (const QString &path : paths)
        frmFileList->setText(row++, 0, path);
}

void FTP_Information::frmFileList_Click()
{
    if (!m_description) {
        m_description = new Description(this);
        // Whatever row is current when "Exit" is pressed takes the text.
        connect(m_description, &Description::writeBack, this, [this](const QString &text) {
            frmFileList->setText(frmFileList->currentRow(), 0, text);
        });
    }
    m_description->setWindowTitle(QStringLiteral("File Name"));
    m_description->setEntryText(frmFileList->text(frmFileList->currentRow(), 0));
    m_description->show();
    m_description->raise();
}

void FTP_Information::frmFTPTo_Click()
{
    m_editor->open();
    // The user is about to type: the text box takes its content now, not after the next turn.
    m_editor->flush();
}

void FTP_Information::frmFTPTo_DblClick()
{
    frmFTPTo_Click();
}

void FTP_Information::frmFTPTo_EnterCell()
{
    if (m_gridBusy)
        return;
    m_editor->open();
}

void FTP_Information::frmFTPTo_LeaveCell()
{
    if (m_gridBusy)
        return;
    if (m_editor->commit() == DestinationEditor::Commit::Refused)
        showMessage(QStringLiteral("The Select Box can be either Y (Yes)or N (No)"),
                    QStringLiteral("Edit Error"));
}

void FTP_Information::frmFTPTo_Scroll()
{
    frmFTPTo_LeaveCell();
    m_editor->close(true);
}

void FTP_Information::frmInputBox_KeyDown(int keyCode, int shift)
{
    Q_UNUSED(shift)
    const int row = frmFTPTo->currentRow();
    if (keyCode == DestinationEditor::kKeyUp) {
        if (row != kFirstDataRow)
            frmFTPTo->setCurrentRow(row - 1);
    } else if (keyCode == DestinationEditor::kKeyDown) {
        if (row < frmFTPTo->rowCount() - 2)
            frmFTPTo->setCurrentRow(row + 1);
    }
}

void FTP_Information::CmdGet_Click()
{
    m_faults->present(m_profiles.Get(*this));
}

void FTP_Information::cmdProfileSave_Click()
{
    m_faults->present(m_profiles.Save(*this));
}

void FTP_Information::cmdTest_Click()
{
    m_faults->present(m_connectionTest.testCurrentRow(*this, m_transferSettings));
}

void FTP_Information::cmdProcess_Click()
{
    // The window keeps turning while a run goes on; a second request waits for its end.
    if (m_session.isRunning())
        return;
    RequestForm form{{}, frmWorkingDirectory->text(), m_simultaneous, m_transferSettings};
    for (int row = kFirstDataRow; row <= kLastDataRow && !frmFileList->text(row, 0).isEmpty();
         ++row)
        form.files.append(frmFileList->text(row, 0));
    const std::optional<TransferRequest> request = checkedRequest(form, *frmFTPTo, *m_faults);
    if (!request)
        return;
    if (const std::optional<Fault> fault = m_session.start(*request)) {
        m_faults->faultFound(*fault);
        return;
    }
    UserSettings().rememberWorkingDirectory(frmWorkingDirectory->text());
}

void FTP_Information::cmdExit_Click()
{
    terminationRequested();
}

void FTP_Information::mnuSimultaneous_Click()
{
    SimultaneousTransfersDialog dialog(m_simultaneous, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setSimultaneousTransfers(dialog.value());
    UserSettings().setSimultaneousTransfers(m_simultaneous);
}

void FTP_Information::mnuTransferSettings_Click()
{
    TransferSettingsDialog dialog(m_transferSettings, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_transferSettings = dialog.settings();
    UserSettings().setTransferSettings(m_transferSettings);
}

void FTP_Information::mnuResults_Click()
{
    m_runs->resultsWindow()->showResults();
}

void FTP_Information::mnuExit_Click()
{
    terminationRequested();
}

void FTP_Information::mnuHelp_Click()
{
    // Only the start-up directory counts, whatever the current directory has become since.
    const QString path = workingDirFile(startupDirectory(), QStringLiteral("Help.rtf"));
    const bool opened = !m_help;
    if (opened)
        m_help = new Help(this);
    if (!isOrdinaryFile(path) || !m_help->loadHelpFile(path)) {
        if (opened)
            delete m_help;
        showMessage(
            QStringLiteral("Help File not found - please contact Tallowmere for assistance"),
            QStringLiteral("System Error"));
        return;
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void FTP_Information::closeEvent(QCloseEvent *event)
{
    event->ignore();
    terminationRequested();
}

void FTP_Information::terminationRequested()
{
    if (!m_session.isRunning()) {
        endProgram();
        return;
    }
    // The run stops its clients and removes its files first; the program ends once it has.
    m_endAfterRun = true;
    m_session.cancel();
}

void FTP_Information::endProgram()
{
    if (m_programEnder) {
        m_programEnder();
        return;
    }
    // Through the event loop: the windows go and the settings are written as the program ends.
    // A pending edit is dropped, as the user left it.
    QCoreApplication::quit();
}
