#pragma once

#include "app/EventPump.h"
#include "app/FileChooser.h"
#include "app/StatusLook.h"
#include "record/UploadRecord.h"
#include "run/RunRecord.h"
#include "upload/UploadOutcome.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <memory>

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantor::app {

class PortChoiceBox;
class confirmOverwrite;
class serialComm;

// The main window, "Vantor Program Uploader Ver 1.0": file, PLC ID and port choice, Serial Setup,
// the reset choice, UPLOAD NOW! and the status label. Closing it ends the program.
class UploaderPanel : public QWidget
{
    Q_OBJECT

public:
    // chooser: the Select dialog; null for the platform's own. extraPort: a device to add to both
    // port lists and select at start (empty: COM1).
    explicit UploaderPanel(std::unique_ptr<FileChooser> chooser = nullptr,
                           const QString& extraPort = QString());
    ~UploaderPanel() override;

    // Transfers the chosen file into the PLC, reporting in the status label (with the core's details
    // under the caption) and the progress bar under it, then appends its result to the record file
    // when one is kept. Blocks until it is done; meanwhile, every EventPump::sliceMs, the window
    // system's events are let through (repaints of the latest state, the window manager's pings, a
    // close request) and the user's input is dropped, but for Esc and the
    // Stop button. Those stop the upload at its next safe point (never the save after it) and the
    // program goes on; a close request or a stop signal stops it as Ctrl+C does on the command line,
    // and the program then ends.
    upload::UploadOutcome UploadProgram();

    // Puts path into the file box, as Select does; the upload reads the box. A relative path is made
    // absolute, and shown with the platform's separators, so the box shows which file it is.
    void selectFile(const QString& path);

    // Shows text in the status label, in the look of tone (see StatusLook); the panel grows downwards
    // when the text needs more lines.
    void showStatus(const QString& text, StatusTone tone = StatusTone::Failure);

    // Appends a result line for each upload to the record file at path (created when missing), as
    // vantor upload --record does, with the same checks (record::RecordFile). False with *error when it
    // cannot be appended to or is refused (a link, another user's file, one anyone may write).
    bool keepRecord(const std::string& path, std::string* error);
    // The tags (and profile, none here) every upload's result line carries from now on; none at first.
    void setRecordStamp(const record::RecordStamp& stamp) { stamp_ = stamp; }

    serialComm& console() { return *console_; }
    confirmOverwrite& confirmation() { return *confirm_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class StatusReporter;
    class RecordNotices;

    // The controls are made, laid out, given to the keyboard and connected in that order.
    void buildControls(const QString& extraPort);
    // The file box, the PLC ID and the port list (extraPort selected, added when it is not an item).
    void buildChoices(const QString& extraPort);
    // The reset choice, UPLOAD NOW! and Stop (hidden).
    void buildUploadButtons();
    void layOutControls();
    // Tab order along the rows, Enter on the buttons, the controls' accessible names.
    void setUpKeyboard();
    void connectControls();
    // The console window's port state, port choice, network wait and end of work, shown here; its
    // "Save..." asks this panel's chooser.
    void connectConsole();
    // SIGTERM, SIGINT or SIGHUP end the program as a close request does (asked every 100 ms).
    void watchSignals();
    // The status box (the tone's icon and Message) and the progress bar, both hidden.
    void buildStatus();
    // Where Select's dialog opens: the folder of the file the box names, when that folder exists; else
    // the folder of the last file selected in this run; else the working folder.
    QString startingFolder() const;
    void onBrowse();
    void onPortChanged();
    void onUploadClicked();
    // A name typed into the port box: a port is added and selected, anything else is undone.
    void onPortTyped();
    void onPortStateChanged(bool open);
    // The file, the PLC ID or the port changed: withdraws the confirmation and clears the caption.
    void onChoiceChanged();
    // Hides the status caption, which no longer describes the state.
    void clearStatus();
    // The port chosen in Serial Setup, shown in this panel's list too.
    void onConsolePortChosen(const QString& name);
    // Record lineNumber of total went out: the progress bar and the window title follow.
    void showProgress(std::int64_t lineNumber, std::int64_t total);
    // The same, kept until showPendingProgress(): the next time the events go through, or before
    // a caption that is not a record's, so that the last record's state is always the one shown.
    void noteProgress(std::int64_t lineNumber, std::int64_t total);
    void showPendingProgress();
    // A record's caption: only the text, when the status already shows progress.
    void showRecordCaption(const QString& text);
    // Grows the panel downwards when the caption and its detail need more lines than they have.
    void fitStatus();
    // A sentence from the core on why, under the caption after those before it; cleared when an upload
    // starts and with any caption outside one.
    void addDetail(const QString& sentence);
    void clearDetail();
    // Shows or hides what belongs to an upload under way: Stop, the progress bar, UPLOAD NOW! disabled.
    void showUploading(bool uploading);
    // Asked during every wait of an upload and of the record's lock: lets the window system's events
    // through (EventPump), and tells whether the upload is to stop.
    bool keepAlive();

    std::unique_ptr<FileChooser> chooser_;
    std::unique_ptr<RecordNotices> recordNotices_; // before record_, which tells it: gone after it
    std::unique_ptr<run::RunRecord> record_;
    record::RecordStamp stamp_;
    serialComm* console_ = nullptr;
    confirmOverwrite* confirm_ = nullptr;

    QLabel* Label2;
    QLineEdit* Text2;
    QPushButton* Browse;
    QLabel* Label1;
    QLineEdit* PLCID;
    PortChoiceBox* portChoice;
    QPushButton* SerialSetup;
    QCheckBox* ResetChoice;
    QPushButton* Upload;
    QPushButton* stopButton;
    QFrame* statusBox; // holds the status: the tone's icon and Message, on the tone's ground
    QLabel* MessageIcon;
    QLabel* Message;
    QLabel* statusDetail;
    QProgressBar* uploadProgress;
    bool connectingShown_ = false; // Message says a network port is being opened
    bool uploading_ = false;
    bool stopRequested_ = false;  // Esc or Stop during an upload
    bool focusWhenDone_ = false;  // UPLOAD NOW! had the focus when the upload began
    bool closeRequested_ = false; // a close request came during an upload; honoured after it
    EventPump pump_;
    std::int64_t pendingLine_ = 0; // noteProgress() not yet shown; 0: none
    std::int64_t pendingTotal_ = 0;
    QElapsedTimer sinceFirstRecord_;
    QString lastFolder_; // of the last file selected (Select, a drop, the command line); empty: none yet
};

} // namespace vantor::app
