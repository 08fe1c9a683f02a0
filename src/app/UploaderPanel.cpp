#include "app/UploaderPanel.h"

#include "app/Bell.h"
#include "app/CoreText.h"
#include "app/FileChooser.h"
#include "app/InputBlocker.h"
#include "app/PortList.h"
#include "app/confirmOverwrite.h"
#include "app/serialComm.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace vantor::app {

namespace {
constexpr const char* fileFilter = "Vantor Compiled Code (*.VQC)";
constexpr int panelComPorts = 8;
// How often an upload lets the window system's events through: often enough to repaint and answer
// the window manager, rarely enough to cost nothing against the exchanges.
constexpr qint64 eventSliceMs = 20;
} // namespace

// Shows the upload's state in the status label; repaints draw it at once, mid-upload.
class UploaderPanel::StatusReporter : public upload::UploadReporter
{
public:
    // via: the open port when it is not the one the panel shows, named under every caption.
    StatusReporter(UploaderPanel& panel, QString via) : panel_(panel), via_(std::move(via)) {}
    void showCaption(const std::string& caption) override
    {
        lastCaption_ = caption;
        QString text = CoreText::message(caption);
        if (!via_.isEmpty())
            text += "\n(through " + via_ + ", the port still open)";
        panel_.showStatus(text);
    }
    void repaint() override { panel_.repaint(); }
    void recordSent(std::int64_t, std::int64_t, const std::string& caption) override { showCaption(caption); }
    void detail(const std::string& sentence) override
    {
        details_ += (details_.empty() ? "" : "; ") + sentence;
    }
    // Why the upload ended as it did, for the record: the last caption, then the details.
    std::string reason() const { return record::UploadRecord::reasonOf(lastCaption_, details_); }

private:
    UploaderPanel& panel_;
    QString via_;
    std::string lastCaption_;
    std::string details_;
};

UploaderPanel::UploaderPanel(std::unique_ptr<FileChooser> chooser, const QString& extraPort)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      chooser_(chooser ? std::move(chooser) : std::make_unique<DialogFileChooser>())
{
    setObjectName("UploaderPanel");
    setWindowTitle("Vantor Program Uploader Ver 1.0");
    setFont(QFont("Arial", 9));

    // Loading selects the first port, which creates the console window, hidden, with its defaults.
    console_ = new serialComm(this);
    confirm_ = new confirmOverwrite(this);
    buildControls(extraPort);
    onPortChanged();
    connect(portChoice, &QComboBox::currentIndexChanged, this, &UploaderPanel::onPortChanged);
    connect(confirm_, &confirmOverwrite::confirmed, this, [this] { UploadProgram(); });
    connect(confirm_, &confirmOverwrite::declined, this, &UploaderPanel::clearStatus);
    connect(console_, &serialComm::portStateChanged, this, &UploaderPanel::onPortStateChanged);
    connect(portChoice->lineEdit(), &QLineEdit::editingFinished, this, &UploaderPanel::onPortTyped);
    // A caption about the file, the PLC ID or the port no longer holds once they change.
    connect(Text2, &QLineEdit::textChanged, this, &UploaderPanel::onChoiceChanged);
    connect(PLCID, &QLineEdit::textChanged, this, &UploaderPanel::onChoiceChanged);
    // SIGTERM, SIGINT or SIGHUP end the program as a close request does.
    auto* signalWatch = new QTimer(this);
    connect(signalWatch, &QTimer::timeout, this, [this] {
        if (console::StopSignals::requested())
            close();
    });
    signalWatch->start(100);
    setAcceptDrops(true);
    SerialSetup->setFocus();
}

UploaderPanel::~UploaderPanel() = default;

void UploaderPanel::buildControls(const QString& extraPort)
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
    portChoice = new QComboBox(this);
    portChoice->setObjectName("portChoice");
    portChoice->setEditable(true);
    portChoice->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= panelComPorts; ++n)
        portChoice->addItem(QString("COM%1").arg(n));
    PortList::addPorts(portChoice, panelComPorts, console_->core().catalog());
    int start = 0;
    if (!extraPort.isEmpty()) {
        start = portChoice->findText(extraPort, Qt::MatchFixedString);
        if (start < 0) {
            portChoice->addItem(extraPort);
            start = portChoice->count() - 1;
        }
    }
    portChoice->setCurrentIndex(start);
    SerialSetup = new QPushButton("Serial Setup", this);
    SerialSetup->setObjectName("SerialSetup");

    ResetChoice = new QCheckBox("To RESET PLC After Upload", this);
    ResetChoice->setObjectName("ResetChoice");

    Upload = new QPushButton("UPLOAD NOW!", this);
    Upload->setObjectName("Upload");
    Upload->setFont(QFont("Arial Black", 11, QFont::Black));
    Upload->setMinimumHeight(36);

    Message = new QLabel(this);
    Message->setObjectName("Message");
    Message->setAlignment(Qt::AlignCenter);
    Message->setWordWrap(true);
    Message->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Message->setFont(QFont("Arial Black", 9, QFont::Black));
    Message->setAutoFillBackground(true);
    QPalette status = Message->palette();
    status.setColor(QPalette::Window, status.color(QPalette::Highlight));
    status.setColor(QPalette::WindowText, Qt::yellow);
    Message->setPalette(status);
    Message->setMinimumHeight(44);
    QSizePolicy keepSpace = Message->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    Message->setSizePolicy(keepSpace);
    Message->hide();

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
    layout->addWidget(Upload);
    layout->addWidget(Message);
    setFixedSize(480, 206);

    connect(Browse, &QPushButton::clicked, this, &UploaderPanel::onBrowse);
    connect(SerialSetup, &QPushButton::clicked, this, [this] {
        console_->show();
        console_->raise();
        console_->activateWindow();
    });
    connect(Upload, &QPushButton::clicked, this, &UploaderPanel::onUploadClicked);
}

void UploaderPanel::onPortChanged()
{
    // The console's list is the one the port opens from; ports beyond its items are added to it.
    console_->selectPort(portChoice->itemText(std::max(0, portChoice->currentIndex())));
    onChoiceChanged(); // shows the port notice when another port is still open
}

QString UploaderPanel::otherOpenPort() const
{
    const QString open = QString::fromStdString(console_->core().openPortName());
    if (open.isEmpty() || open.compare(portChoice->currentText(), Qt::CaseInsensitive) == 0)
        return {};
    return open;
}

void UploaderPanel::updatePortNotice()
{
    // An open port stays open until it is closed, whatever the list shows now; say so, so that nobody
    // uploads through the old port believing it is the new one.
    const QString open = otherOpenPort();
    if (!open.isEmpty()) {
        showStatus(open + " is still open. Close Port in Serial Setup to use " + portChoice->currentText() +
                   ".");
        noticeShown_ = true;
    } else if (noticeShown_) {
        Message->hide();
        noticeShown_ = false;
    }
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
    int index = portChoice->findText(typed, Qt::MatchFixedString);
    if (index < 0) {
        portChoice->addItem(typed);
        index = portChoice->count() - 1;
    }
    portChoice->setCurrentIndex(index); // the change step copies it to the console, adding it there
    portChoice->setEditText(portChoice->itemText(index));
}

void UploaderPanel::onPortStateChanged(bool open)
{
    // A caption about the port that was closed (its notice, an upload through it) is over now.
    if (!open && !uploading_)
        onChoiceChanged();
    updatePortNotice();
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
    Message->hide();
    noticeShown_ = false;
    updatePortNotice();
}

void UploaderPanel::showStatus(const QString& text)
{
    noticeShown_ = false;
    Message->setText(text);
    Message->setVisible(true);
    // The panel keeps its width; it grows downwards when a caption needs more lines than the label has.
    const int needed = Message->heightForWidth(Message->width()) + 2 * Message->frameWidth();
    if (needed > Message->height()) {
        Message->setMinimumHeight(needed);
        setFixedHeight(sizeHint().height());
    }
}

void UploaderPanel::selectFile(const QString& path)
{
    Text2->setText(path.isEmpty() ? path : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
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

void UploaderPanel::onBrowse()
{
    const QString name = chooser_->chooseFile(this, fileFilter);
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
    const QString open = otherOpenPort();
    confirm_->setTarget(
        QString("%1: %2 %3 to PLC %4 on %5")
            .arg(QFileInfo(Text2->text()).fileName())
            .arg(file.records)
            .arg(file.records == 1 ? "record" : "records")
            .arg(QString::fromStdString(hostlink::Frame::renderHex(id.id)))
            .arg(open.isEmpty() ? portChoice->currentText() : open + ", the port still open"));
    confirm_->show();
    confirm_->raise();
    confirm_->activateWindow();
}

bool UploaderPanel::keepAlive()
{
    if (sinceEvents_.elapsed() >= eventSliceMs) {
        QCoreApplication::processEvents(); // the user's input is dropped meanwhile (InputBlocker)
        sinceEvents_.restart();
    }
    return closeRequested_ || console::StopSignals::requested();
}

upload::UploadOutcome UploaderPanel::UploadProgram()
{
    StatusReporter reporter(*this, otherOpenPort());
    console::SerialConsole& link = console_->core();
    upload::UploadProcedure procedure({link.exchange(), [&link] { return link.lastPortProblem(); }},
                                      reporter);
    uploading_ = true;
    sinceEvents_.start();
    const InputBlocker noInput;
    record::UploadRecord result;
    result.time = record::UploadRecord::utcTime(std::chrono::system_clock::now());
    result.port = link.isOpen() ? link.openPortName() : link.portName();
    result.file = CoreText::path(Text2->text());
    result.settings = link.settings();
    result.timeoutMs =
        hostlink::TimeoutText::effectiveMs(link.timeoutText(), hostlink::CommandExchange::responseFallbackMs);
    result.reset = ResetChoice->checkState() == Qt::Checked;
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = procedure.run(
        {result.file, [this] { return PLCID->text().toLatin1().toStdString(); },
         [this] { return ResetChoice->checkState() == Qt::Checked; }, [this] { return keepAlive(); }});
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.setOutcome(outcome);
    const auto id = hostlink::PlcId::fromText(PLCID->text().toLatin1().toStdString());
    result.id = id.ok ? hostlink::Frame::renderHex(id.id) : PLCID->text().toStdString();
    result.records = procedure.linesSent();
    result.total = procedure.lastCheck().records;
    result.sha256 = procedure.lastCheck().sha256;
    if (!result.saved())
        result.detail = reporter.reason();
    addToRecord(result);
    uploading_ = false;
    if (closeRequested_ || console::StopSignals::requested())
        close();
    return outcome;
}

bool UploaderPanel::keepRecord(const std::string& path, std::string* error)
{
    auto file = std::make_unique<record::RecordFile>();
    if (!file->open(path)) {
        *error = "cannot write the record file " + path + ": " + file->error();
        return false;
    }
    record_ = std::move(file);
    return true;
}

void UploaderPanel::addToRecord(record::UploadRecord& result)
{
    if (!record_)
        return;
    const std::string line = result.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (record_->append(line))
        return;
    // Said under the upload's own caption, which stays true.
    showStatus(Message->text() + "\n(This upload is missing from the record file " +
               QString::fromStdString(record_->path()) + ": " + QString::fromStdString(record_->error()) +
               ")");
}

void UploaderPanel::closeEvent(QCloseEvent* event)
{
    if (uploading_) {
        // The upload stops at its next safe point (never the save after this), then the program ends.
        closeRequested_ = true;
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
