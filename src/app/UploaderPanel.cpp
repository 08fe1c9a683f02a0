#include "app/UploaderPanel.h"

#include "app/Bell.h"
#include "app/CoreText.h"
#include "app/EnterPresses.h"
#include "app/FileChooser.h"
#include "app/InputBlocker.h"
#include "app/PortChoiceBox.h"
#include "app/PortList.h"
#include "app/confirmOverwrite.h"
#include "app/serialComm.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"
#include "run/PlcUpload.h"
#include "upload/UploadProcedure.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace vantor::app {

namespace {
constexpr const char* fileFilter = "Vantor Compiled Code (*.VQC)";
constexpr int panelComPorts = 8;
constexpr const char* title = "Vantor Program Uploader Ver 1.0";
constexpr int iconSize = 24;
constexpr int statusMinHeight = 44; // two lines of the caption
constexpr int statusMargin = 6;     // around and between the status icon and caption
constexpr int detailSpacing = 2;    // above the caption's detail

// Hides widget, keeping its place in the layout so that the panel does not jump when it shows.
void keepSpaceWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    widget->hide();
}

// "about 1 min 5 s left", from how long the records so far took; empty until that says enough.
QString timeLeft(std::int64_t done, std::int64_t total, qint64 elapsedMs)
{
    if (done < 2 || elapsedMs < 500)
        return {};
    const auto seconds =
        static_cast<std::int64_t>(static_cast<double>(elapsedMs) / 1000.0 / static_cast<double>(done - 1) *
                                      static_cast<double>(total - done) +
                                  0.5);
    if (seconds < 1)
        return "under a second left";
    if (seconds < 60)
        return QString("about %1 s left").arg(seconds);
    return QString("about %1 min %2 s left").arg(seconds / 60).arg(seconds % 60);
}
} // namespace

// Shows the upload's state in the status label. Every caption is set as it comes; what the window
// draws follows at most every EventPump slice, which is as often as anyone can read it: a repaint for
// each record would cost the upload more time than some lines take to carry it.
class UploaderPanel::StatusReporter : public run::PlcListener
{
public:
    explicit StatusReporter(UploaderPanel& panel) : panel_(panel) {}
    void showCaption(const std::string& caption) override
    {
        panel_.showPendingProgress(); // where the records got stays beside what comes after them
        QString text = CoreText::message(caption);
        // Stopped on the user's request, not cut off by something else.
        if (panel_.stopRequested_ && text.startsWith("Upload interrupted"))
            text.replace(0, int(std::strlen("Upload interrupted")), "Upload stopped");
        panel_.showStatus(text, StatusTone::Progress);
    }
    // Drawn with the events, when a slice has passed since they last went through.
    void repaint() override { panel_.keepAlive(); }
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) override
    {
        panel_.showRecordCaption(CoreText::message(caption));
        panel_.noteProgress(lineNumber, total);
    }
    // Under the caption, which stays as the core set it.
    void detail(const std::string& sentence) override { panel_.addDetail(CoreText::message(sentence)); }
    // What to try next, in this window's words: the timeout is Serial Setup's; there is no attempts
    // setting here, so that advice is left out.
    std::string remedy(Remedy which, int value) const override
    {
        switch (which) {
        case Remedy::Scan:
            return "vantor scan (the command-line tool)";
        case Remedy::Attempts:
            return {};
        case Remedy::Timeout:
            return "a Timeout (ms) of " + std::to_string(value) + " in Serial Setup";
        }
        return {};
    }
    // The last caption stays, in the look of how the upload ended.
    void ended(const record::UploadRecord& result, bool) override
    {
        panel_.showPendingProgress();
        panel_.showStatus(panel_.Message->text(), StatusLook::toneOf(result.ending, panel_.Message->text()));
    }

private:
    UploaderPanel& panel_;
};

// Tells of the record file under the upload's caption: a wait for its lock (which Stop, Esc and
// closing give up), a file moved away and opened again, and a result that could not be written,
// whose line then goes into the console's log and on standard error so that it is not lost.
class UploaderPanel::RecordNotices : public run::RecordListener
{
public:
    explicit RecordNotices(UploaderPanel& panel) : panel_(panel) {}
    bool waitingForLock() override
    {
        if (!waitShown_) {
            caption_ = panel_.Message->text();
            tone_ = static_cast<StatusTone>(panel_.Message->property("tone").toInt());
            panel_.showStatus(caption_ + "\n(Waiting for the record file " + path() +
                                  ", which another program holds; Stop or Esc gives up)",
                              StatusTone::Progress);
        }
        waitShown_ = true;
        return panel_.keepAlive();
    }
    void appended(const record::RecordFile::Appended& what, const std::string& file, const std::string& line,
                  bool) override;

private:
    QString path() const { return QString::fromStdString(panel_.record_->path()); }

    UploaderPanel& panel_;
    bool waitShown_ = false;
    QString caption_;
    StatusTone tone_ = StatusTone::Progress;
};

void UploaderPanel::RecordNotices::appended(const record::RecordFile::Appended& what, const std::string& file,
                                            const std::string& line, bool)
{
    if (waitShown_)
        panel_.showStatus(caption_, tone_);
    waitShown_ = false;
    const QString shownPath = QString::fromStdString(file);
    if (what.reopened)
        panel_.console_->appendResponse("The record file " + shownPath +
                                        " was moved or removed (log rotation?): it was opened again by its "
                                        "name, and the uploads from here on go there.");
    if (what.written)
        return;
    // In the log, so that the result can still be added to the record by hand.
    const QString error = QString::fromStdString(what.error);
    panel_.console_->appendResponse("Not in the record file " + shownPath + " (" + error +
                                    "): " + QString::fromStdString(line));
    // The log goes with the program; standard error (a terminal, the session's log) outlives it.
    std::fprintf(stderr, "vantor-uploader: not in the record file %s (%s): %s\n", file.c_str(),
                 what.error.c_str(), line.c_str());
    // Said under the upload's own caption, which stays true; a success is no longer all well.
    const QString caption = panel_.Message->text();
    const auto tone = static_cast<StatusTone>(panel_.Message->property("tone").toInt());
    panel_.showStatus(caption + "\n(This upload is missing from the record file " + shownPath + ": " + error +
                          ". Its line is in the log of Serial Setup.)",
                      tone == StatusTone::Success ? StatusTone::Warning : tone);
}

UploaderPanel::UploaderPanel(std::unique_ptr<FileChooser> chooser, const QString& extraPort)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      chooser_(chooser ? std::move(chooser) : std::make_unique<DialogFileChooser>())
{
    setObjectName("UploaderPanel");
    setWindowTitle(title);
    setFont(QFont("Arial", 9));

    // Loading selects the first port, which creates the console window, hidden, with its defaults.
    console_ = new serialComm(this);
    confirm_ = new confirmOverwrite(this);
    buildControls(extraPort);
    onPortChanged();
    connect(portChoice, &QComboBox::currentIndexChanged, this, &UploaderPanel::onPortChanged);
    connect(confirm_, &confirmOverwrite::confirmed, this, [this] { UploadProgram(); });
    connect(confirm_, &confirmOverwrite::declined, this, &UploaderPanel::clearStatus);
    connectConsole();
    connect(portChoice->lineEdit(), &QLineEdit::editingFinished, this, &UploaderPanel::onPortTyped);
    // A caption about the file, the PLC ID or the port no longer holds once they change.
    connect(Text2, &QLineEdit::textChanged, this, &UploaderPanel::onChoiceChanged);
    connect(PLCID, &QLineEdit::textChanged, this, &UploaderPanel::onChoiceChanged);
    watchSignals();
    setAcceptDrops(true);
    SerialSetup->setFocus();
}

UploaderPanel::~UploaderPanel() = default;

void UploaderPanel::connectConsole()
{
    connect(console_, &serialComm::portStateChanged, this, &UploaderPanel::onPortStateChanged);
    connect(console_, &serialComm::portChosen, this, &UploaderPanel::onConsolePortChosen);
    console_->setFileChooser(chooser_.get());
    connect(console_, &serialComm::connecting, this, [this](const QString& name) {
        showStatus("Connecting to " + name + "...", StatusTone::Progress);
        connectingShown_ = true;
        repaint();
    });
    connect(console_, &serialComm::busyEnded, this, [this] {
        if (connectingShown_ && !uploading_)
            clearStatus(); // the console's log says how the opening went
        if (closeRequested_)
            close();
    });
}

void UploaderPanel::watchSignals()
{
    // SIGTERM, SIGINT or SIGHUP end the program as a close request does.
    auto* signalWatch = new QTimer(this);
    connect(signalWatch, &QTimer::timeout, this, [this] {
        if (console::StopSignals::requested())
            close();
    });
    signalWatch->start(100);
}

void UploaderPanel::buildControls(const QString& extraPort)
{
    buildChoices(extraPort);
    buildUploadButtons();
    buildStatus();
    layOutControls();
    setUpKeyboard();
    connectControls();
}

void UploaderPanel::buildChoices(const QString& extraPort)
{
    Label2 = new QLabel("File to Upload", this);
    Label2->setObjectName("Label2");
    Text2 = new QLineEdit(this);
    Text2->setObjectName("Text2");
    Text2->setAcceptDrops(false); // a file dropped on the box selects it, like one dropped on the panel
    Browse = new QPushButton("Select", this);
    Browse->setObjectName("Browse");

    Label1 = new QLabel("PLC ID (00-FF)", this);
    Label1->setObjectName("Label1");
    PLCID = new QLineEdit("01", this);
    PLCID->setObjectName("PLCID");
    PLCID->setMaxLength(32767);
    portChoice = new PortChoiceBox(this, panelComPorts, console_->core().catalog());
    portChoice->setObjectName("portChoice");
    PortList::refresh(portChoice, panelComPorts, console_->core().catalog());
    if (extraPort.isEmpty())
        portChoice->setCurrentIndex(0);
    else
        portChoice->choose(extraPort);
    SerialSetup = new QPushButton("Serial Setup", this);
    SerialSetup->setObjectName("SerialSetup");
}

void UploaderPanel::buildUploadButtons()
{
    ResetChoice = new QCheckBox("To RESET PLC After Upload", this);
    ResetChoice->setObjectName("ResetChoice");

    Upload = new QPushButton("UPLOAD NOW!", this);
    Upload->setObjectName("Upload");
    Upload->setFont(QFont("Arial Black", 11, QFont::Black));
    Upload->setMinimumHeight(36);
    stopButton = new QPushButton("Stop", this);
    stopButton->setObjectName("stopButton");
    stopButton->setToolTip("Stops the upload before the next record (Esc); the PLC's saved program stays");
    stopButton->setMinimumHeight(36);
    stopButton->hide();
}

void UploaderPanel::layOutControls()
{
    auto* grid = new QGridLayout;
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Text2, 0, 1, 1, 2);
    grid->addWidget(Browse, 0, 3);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(PLCID, 1, 1);
    grid->addWidget(portChoice, 1, 2);
    grid->addWidget(SerialSetup, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ResetChoice);
    auto* uploadRow = new QHBoxLayout;
    uploadRow->addWidget(Upload, 1);
    uploadRow->addWidget(stopButton);
    layout->addLayout(uploadRow);
    layout->addWidget(statusBox);
    layout->addWidget(uploadProgress);
    setFixedSize(480, layout->sizeHint().height());
}

void UploaderPanel::setUpKeyboard()
{
    // Tab follows the rows, left to right; Stop, shown only during an upload, comes last.
    const QList<QWidget*> order{Text2,       Browse,      PLCID,  portChoice,
                                SerialSetup, ResetChoice, Upload, stopButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QPushButton* button : {Browse, SerialSetup, Upload})
        EnterPresses::install(button);
    // A screen reader names each box by the label before it; the port list has no label of its own.
    Label2->setBuddy(Text2);
    Label1->setBuddy(PLCID);
    portChoice->setAccessibleName("Port");
}

void UploaderPanel::connectControls()
{
    connect(Browse, &QPushButton::clicked, this, &UploaderPanel::onBrowse);
    connect(SerialSetup, &QPushButton::clicked, this, [this] {
        console_->show();
        console_->raise();
        console_->activateWindow();
    });
    connect(Upload, &QPushButton::clicked, this, &UploaderPanel::onUploadClicked);
    connect(stopButton, &QPushButton::clicked, this, [this] { stopRequested_ = true; });
}

void UploaderPanel::buildStatus()
{
    // The status: the tone's icon at the left, the caption centred, on the tone's ground.
    statusBox = new QFrame(this);
    statusBox->setObjectName("statusBox");
    statusBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBox->setAutoFillBackground(true);
    statusBox->setPalette(StatusLook::paletteFor(StatusTone::Progress, palette()));
    statusBox->setMinimumHeight(statusMinHeight);
    MessageIcon = new QLabel(statusBox);
    MessageIcon->setObjectName("MessageIcon");
    MessageIcon->setFixedSize(iconSize, iconSize);
    Message = new QLabel(statusBox);
    Message->setObjectName("Message");
    Message->setAlignment(Qt::AlignCenter);
    Message->setWordWrap(true);
    Message->setFont(QFont("Arial Black", 9, QFont::Black));
    // Why, and what to try next, under the caption in a smaller type; hidden while there is none.
    statusDetail = new QLabel(statusBox);
    statusDetail->setObjectName("statusDetail");
    statusDetail->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    statusDetail->setWordWrap(true);
    statusDetail->setFont(QFont("Arial", 8));
    statusDetail->setContentsMargins(0, detailSpacing, 0, 0);
    statusDetail->hide();
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0); // the detail keeps its own margin
    texts->addWidget(Message);
    texts->addWidget(statusDetail);
    auto* statusRow = new QHBoxLayout(statusBox);
    statusRow->setContentsMargins(statusMargin, 2, statusMargin, 2);
    statusRow->setSpacing(statusMargin);
    statusRow->addWidget(MessageIcon, 0, Qt::AlignVCenter);
    statusRow->addLayout(texts, 1);
    statusRow->addSpacing(iconSize); // as wide as the icon, so the caption stays centred
    keepSpaceWhenHidden(statusBox);

    uploadProgress = new QProgressBar(this);
    uploadProgress->setObjectName("uploadProgress");
    uploadProgress->setAlignment(Qt::AlignCenter);
    keepSpaceWhenHidden(uploadProgress);
}

void UploaderPanel::onPortChanged()
{
    // The console's list is the one the port opens from; ports beyond its items are added to it.
    // Another port that is open is closed there, so the next exchange goes through this one.
    console_->selectPort(portChoice->itemText(std::max(0, portChoice->currentIndex())));
    onChoiceChanged();
}

void UploaderPanel::onConsolePortChosen(const QString& name)
{
    portChoice->choose(name); // the same port again in the console: nothing more happens
}

void UploaderPanel::onPortTyped()
{
    const QString typed = portChoice->currentText().trimmed();
    const int selected = std::max(0, portChoice->currentIndex());
    if (typed == portChoice->itemText(selected))
        return;
    if (!PortList::isPortName(typed, console_->core().catalog())) {
        // The box never shows one port while the upload would use another.
        portChoice->setEditText(portChoice->itemText(selected));
        return;
    }
    const int index = portChoice->choose(typed); // the change step copies it to the console
    portChoice->setEditText(portChoice->itemText(index));
}

void UploaderPanel::onPortStateChanged(bool open)
{
    // A caption about the port that was closed (its notice, an upload through it) is over now.
    if (!open && !uploading_)
        onChoiceChanged();
}

void UploaderPanel::onChoiceChanged()
{
    // The confirmation names the file, the PLC and the port; once one of them changes it no longer
    // says what Yes would do, so it is withdrawn.
    if (!uploading_)
        confirm_->hide();
    clearStatus();
}

void UploaderPanel::clearStatus()
{
    if (uploading_)
        return;
    statusBox->hide();
    clearDetail();
    connectingShown_ = false;
}

void UploaderPanel::clearDetail()
{
    statusDetail->clear();
    statusDetail->hide();
    Message->setAlignment(Qt::AlignCenter);
}

void UploaderPanel::addDetail(const QString& sentence)
{
    const QString before = statusDetail->text();
    statusDetail->setText(before.isEmpty() ? sentence : before + "\n" + sentence);
    statusDetail->show();
    // The two meet in the middle of the box, however tall it has grown.
    Message->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    fitStatus();
}

void UploaderPanel::showStatus(const QString& text, StatusTone tone)
{
    connectingShown_ = false;
    statusBox->setPalette(StatusLook::paletteFor(tone, palette()));
    const QIcon icon = StatusLook::iconFor(tone, *style());
    MessageIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(iconSize, iconSize));
    MessageIcon->setVisible(!icon.isNull());
    Message->setProperty("tone", static_cast<int>(tone));
    Message->setText(text);
    if (!uploading_)
        clearDetail(); // an upload's details belong to its captions; another caption has none
    statusBox->setVisible(true);
    fitStatus();
}

void UploaderPanel::showRecordCaption(const QString& text)
{
    // Only the text changes from one record to the next: the look and the height stay.
    if (statusBox->isVisible() && Message->property("tone").toInt() == static_cast<int>(StatusTone::Progress))
        Message->setText(text);
    else
        showStatus(text, StatusTone::Progress);
}

void UploaderPanel::fitStatus()
{
    // The panel keeps its width; it grows downwards when a caption needs more lines than the label has.
    // Measured against the width the caption gets, which the box's layout gives it only once shown.
    const int textWidth = statusBox->width() - 2 * statusBox->frameWidth() - 4 * statusMargin - 2 * iconSize;
    int needed = Message->heightForWidth(textWidth) + 4 + 2 * statusBox->frameWidth();
    if (statusDetail->isVisibleTo(statusBox))
        needed += statusDetail->heightForWidth(textWidth) + 2 * statusMargin; // room above and below
    // During an upload it only grows, so that captions of different lengths do not make it jump; at
    // rest it fits what it shows, so a short caption after a long one sits in a box of its size.
    const int wanted = std::max(statusMinHeight, needed);
    if (needed > statusBox->height() || (!uploading_ && wanted != statusBox->minimumHeight())) {
        statusBox->setMinimumHeight(wanted);
        setFixedHeight(sizeHint().height());
    }
}

void UploaderPanel::noteProgress(std::int64_t lineNumber, std::int64_t total)
{
    if (lineNumber <= 1)
        sinceFirstRecord_.start();
    pendingLine_ = lineNumber;
    pendingTotal_ = total;
}

void UploaderPanel::showPendingProgress()
{
    if (pendingLine_ <= 0)
        return;
    showProgress(pendingLine_, pendingTotal_);
    pendingLine_ = 0;
    fitStatus(); // a record's caption may have grown by a digit
}

void UploaderPanel::showProgress(std::int64_t lineNumber, std::int64_t total)
{
    const int percent = total > 0 ? static_cast<int>(lineNumber * 100 / total) : 0;
    // A bar counts in int; a file of more records than that still shows its share.
    const int scale = total > 1000000 ? 1000000 : static_cast<int>(total);
    uploadProgress->setRange(0, std::max(1, scale));
    uploadProgress->setValue(total > 0 ? static_cast<int>(lineNumber * scale / total) : 0);
    QString text = QString("%1 of %2 records").arg(lineNumber).arg(total);
    const QString left =
        timeLeft(lineNumber, total, sinceFirstRecord_.isValid() ? sinceFirstRecord_.elapsed() : 0);
    if (!left.isEmpty())
        text += ", " + left;
    uploadProgress->setFormat(text);
    uploadProgress->setVisible(true);
    setWindowTitle(QString("%1% - %2").arg(percent).arg(title));
}

void UploaderPanel::showUploading(bool uploading)
{
    uploading_ = uploading;
    console_->setUploading(uploading, uploading ? serial::StopToken([this] { return keepAlive(); })
                                                : serial::StopToken());
    // Focus stays on UPLOAD NOW! across the upload, so the keyboard finds its way as before.
    // (The panel's focus widget: the window itself is inactive while the confirmation is up.)
    const bool focused = focusWidget() == Upload || (!uploading && focusWhenDone_);
    focusWhenDone_ = uploading && focused;
    stopButton->setVisible(uploading);
    Upload->setEnabled(!uploading);
    if (focused && !uploading)
        Upload->setFocus();
    if (uploading) {
        stopRequested_ = false;
        pendingLine_ = 0;
        clearDetail();
        sinceFirstRecord_.invalidate();
        uploadProgress->reset();
        // The upload's captions start from the box's own size, not from what the last one needed.
        statusBox->setMinimumHeight(statusMinHeight);
        setFixedHeight(sizeHint().height());
        return;
    }
    uploadProgress->hide();
    setWindowTitle(title);
    fitStatus();
}

void UploaderPanel::selectFile(const QString& path)
{
    Text2->setText(path.isEmpty() ? path : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (!path.isEmpty())
        lastFolder_ = QFileInfo(path).absolutePath();
}

void UploaderPanel::dragEnterEvent(QDragEnterEvent* event)
{
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.constFirst().isLocalFile())
        event->acceptProposedAction();
}

void UploaderPanel::dropEvent(QDropEvent* event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile())
        return;
    selectFile(urls.constFirst().toLocalFile());
    event->acceptProposedAction();
}

QString UploaderPanel::startingFolder() const
{
    const QString named = Text2->text().trimmed();
    if (!named.isEmpty()) {
        const QFileInfo file(named);
        if (file.absoluteDir().exists())
            return file.absolutePath();
    }
    return lastFolder_.isEmpty() ? QDir::currentPath() : lastFolder_;
}

void UploaderPanel::onBrowse()
{
    const QString name = chooser_->chooseFile(this, fileFilter, startingFolder());
    // Cancel keeps the earlier choice. The box is what the upload reads, so a path typed into it works
    // too, and the panel never uploads a file other than the one it shows.
    if (name.isEmpty())
        return;
    selectFile(name);
}

void UploaderPanel::onUploadClicked()
{
    Bell::ring();
    // What would stop the upload before anything is sent is said at once, instead of asking first.
    const upload::FileCheck file = upload::UploadProcedure::checkFile(CoreText::path(Text2->text()));
    if (!file.ok()) {
        showStatus(CoreText::message(file.caption));
        return;
    }
    const auto id = hostlink::PlcId::fromText(PLCID->text().toLatin1().toStdString());
    if (!id.ok) {
        showStatus(CoreText::message(id.error + " Uploading aborted"));
        return;
    }
    confirm_->setTarget(QString("%1: %2 %3 to PLC %4 on %5")
                            .arg(QFileInfo(Text2->text()).fileName())
                            .arg(file.records)
                            .arg(file.records == 1 ? "record" : "records")
                            .arg(QString::fromStdString(hostlink::Frame::renderHex(id.id)))
                            .arg(portChoice->currentText()));
    confirm_->show();
    confirm_->raise();
    confirm_->activateWindow();
}

bool UploaderPanel::keepAlive()
{
    // The user's input is dropped meanwhile (InputBlocker); what the records did is drawn with it.
    if (pump_.due()) {
        showPendingProgress();
        pump_.pump();
    }
    return closeRequested_ || stopRequested_ || console::StopSignals::requested();
}

upload::UploadOutcome UploaderPanel::UploadProgram()
{
    StatusReporter reporter(*this);
    console::SerialConsole& link = console_->core();
    showUploading(true);
    pump_.start();
    const InputBlocker noInput(stopButton, [this] { stopRequested_ = true; });
    const std::string file = CoreText::path(Text2->text());
    const std::string idText = PLCID->text().toLatin1().toStdString();
    const auto id = hostlink::PlcId::fromText(idText);
    const bool reset = ResetChoice->checkState() == Qt::Checked;
    const int timeoutMs =
        hostlink::TimeoutText::effectiveMs(link.timeoutText(), hostlink::CommandExchange::responseFallbackMs);
    const record::UploadRecord started =
        run::PlcUpload::newRecord(link.isOpen() ? link.openPortName() : link.portName(),
                                  id.ok ? hostlink::Frame::renderHex(id.id) : PLCID->text().toStdString(),
                                  file, link.settings(), timeoutMs, reset, stamp_);
    // Still uploading for the window while the record waits for its lock: Stop, Esc and closing
    // work there too.
    const record::UploadRecord result =
        run::PlcUpload::run(link, {file, [&idText] { return idText; }, [reset] { return reset; }}, started,
                            reporter, record_.get());
    showUploading(false);
    if (closeRequested_ || console::StopSignals::requested())
        close();
    return result.ending;
}

bool UploaderPanel::keepRecord(const std::string& path, std::string* error)
{
    auto notices = std::make_unique<RecordNotices>(*this);
    auto file = std::make_unique<run::RunRecord>(*notices, run::RunRecord::Waits::EachTime);
    if (const auto opened = file->open(path); !opened.ok()) {
        *error = opened.message;
        return false;
    }
    record_ = std::move(file);
    recordNotices_ = std::move(notices);
    return true;
}

void UploaderPanel::closeEvent(QCloseEvent* event)
{
    if (uploading_ || console_->isBusy()) {
        // The upload stops at its next safe point (never the save after this), or the console's
        // exchange at its next wait, then the program ends.
        closeRequested_ = true;
        console_->requestStop();
        event->ignore();
        return;
    }
    // Ends the program at once: nothing is asked or saved, and the port is released now.
    console_->core().closePort();
    confirm_->hide();
    console_->hide();
    event->accept();
    QCoreApplication::quit();
}

} // namespace vantor::app
