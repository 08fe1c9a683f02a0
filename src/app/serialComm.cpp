#include "app/serialComm.h"

#include "app/Bell.h"
#include "app/CoreText.h"
#include "app/InputBlocker.h"
#include "app/PortList.h"
#include "console/TypedSetting.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "plcsim/SimulatedPlcPort.h"
#include "serial/PortSettings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <iterator>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor::app {

using serial::PortSettings;

namespace {

QComboBox* makeList(QWidget* parent, const char* name, const std::vector<std::string>& items, int selected)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(true);
    // The settings come from the selected item only: typed text becomes an item once the window has
    // read it as one (commitTyped), never by the box's own insertion.
    list->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& item : items)
        list->addItem(QString::fromStdString(item));
    list->setCurrentIndex(selected);
    return list;
}

// spoken: the buddy's accessible name, the label's words without its punctuation ("Port Name").
QLabel* makeLabel(QWidget* parent, const char* name, const char* text, QWidget* buddy, const char* spoken)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString::fromLatin1(spoken));
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* text)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// Whether users other than this one and root may add or replace names in folder: its group or anyone
// may write it, or it is another user's. There, a name may be a link planted to make this program
// write elsewhere. Windows: false; planting a file link takes a privilege there that another user
// does not have by default, and who may write a folder is its access control list's to say.
bool othersCanWrite(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;
#else
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(folder).constData(), &info) == 0 &&
           ((info.st_mode & (S_IWGRP | S_IWOTH)) || (info.st_uid != ::geteuid() && info.st_uid != 0));
#endif
}

QString linkRefusal(const QString& path)
{
    return "it is a symbolic link to " + QDir::toNativeSeparators(QFileInfo(path).symLinkTarget()) +
           " in a folder others can write, so it was not followed and nothing was written; choose another "
           "name";
}

// Writes bytes over the file under path itself, or a new one, never through a link under the name
// (O_NOFOLLOW, so that one planted after a look at the name is refused too); empty when written, else
// why not. In place, unlike QSaveFile, which follows a link to its target: a failed write can leave
// part of the log.
QString writeWithoutFollowing(const QString& path, const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    Q_UNUSED(bytes);
    return "not available";
#else
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0)
        return errno == ELOOP ? linkRefusal(path) : QString::fromLocal8Bit(std::strerror(errno));
    struct stat info
    {
    };
    QString problem;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        problem = "it is not a plain file";
    else if (info.st_nlink > 1)
        problem =
            "it has another name too (a hard link), which may be someone else's file; choose another name";
    else if (info.st_uid != ::geteuid() && info.st_uid != 0)
        problem = "it is another user's file in a folder others can write, so it was left as it is; choose "
                  "another name";
    else if (::ftruncate(fd, 0) != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    for (qsizetype done = 0; problem.isEmpty() && done < bytes.size();) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            problem = QString::fromLocal8Bit(std::strerror(errno));
        else if (n == 0)
            problem = "the disk took only part of the log (is it full?)";
        done += n > 0 ? n : 0;
    }
    if (::close(fd) != 0 && problem.isEmpty())
        problem = QString::fromLocal8Bit(std::strerror(errno));
    return problem;
#endif
}

} // namespace

serialComm::serialComm(QWidget* parent)
    : QWidget(parent, Qt::Window), console_({}, serial::StopToken([this] { return stopAsked(); }))
{
    // One simulated PLC for the whole run: each opening of SIM gets the same one.
    console_.catalog().add(plcsim::SimulatedPlcPort::name, plcsim::SimulatedPlcPort::description,
                           [simulator = std::make_shared<plcsim::SimulatedPlcPort>()] { return simulator; });
    setObjectName("serialComm");
    setWindowTitle("PC Serial Port Setup");
    buildControls();

    console_.setLogSink([this](const std::string& line) { appendResponse(CoreText::message(line)); });
    console_.setErrorSink([this](const std::string& message) { appendResponse(CoreText::message(message)); });
    console_.setStateSink([this](bool open) { onStateChanged(open); });
    console_.setConnectingSink([this](const std::string& name) {
        // Only the wait for a network port lets events through: a typed command's short wait keeps
        // the keys typed meanwhile for afterwards, as they are not dropped then.
        if (busy_ && !uploading_)
            connectWait_.emplace(nullptr, [this] { stopRequested_ = true; });
        emit connecting(QString::fromStdString(name));
    });

    // Loading: the lists start on their defaults (set while building), then Close Port is disabled.
    syncSettings();
    closePort->setEnabled(false);
}

serialComm::~serialComm() = default;

void serialComm::buildControls()
{
    buildSettingsChoices();
    buildButtonsAndLog();
    layOutControls();
    connectControls();
}

void serialComm::buildSettingsChoices()
{
    const int comItems = static_cast<int>(serial::PortSettings::portItems().size());
    portChoice = new PortChoiceBox(this, comItems, console_.catalog());
    portChoice->setObjectName("portChoice");
    PortList::refresh(portChoice, comItems, console_.catalog());
    portChoice->setCurrentIndex(serial::PortSettings::defaultPortIndex);
    baudChoice = makeList(this, "baudChoice", serial::PortSettings::baudItems(),
                          serial::PortSettings::defaultBaudIndex);
    dataBitChoice = makeList(this, "dataBitChoice", serial::PortSettings::dataBitItems(),
                             serial::PortSettings::defaultDataBitIndex);
    stopBitChoice = makeList(this, "stopBitChoice", serial::PortSettings::stopBitItems(),
                             serial::PortSettings::defaultStopBitIndex);
    parityChoice = makeList(this, "parityChoice", serial::PortSettings::parityItems(),
                            serial::PortSettings::defaultParityIndex);
    timeOutBox = new QLineEdit(serial::PortSettings::defaultTimeoutText, this);
    timeOutBox->setObjectName("timeOutBox");
}

void serialComm::buildButtonsAndLog()
{
    lblPortName = makeLabel(this, "lblPortName", "Port Name :", portChoice, "Port Name");
    lblBaudRate = makeLabel(this, "lblBaudRate", "Baud Rate:", baudChoice, "Baud Rate");
    lblDataBits = makeLabel(this, "lblDataBits", "Data Bits:", dataBitChoice, "Data Bits");
    lblStopBit = makeLabel(this, "lblStopBit", "Stop Bits :", stopBitChoice, "Stop Bits");
    lblParity = makeLabel(this, "lblParity", "Parity :", parityChoice, "Parity");
    lblTimeOut = makeLabel(this, "lblTimeOut", "Timeout (ms) :", timeOutBox, "Timeout (ms)");

    openPort = makeButton(this, "openPort", "Open Port");
    closePort = makeButton(this, "closePort", "Close Port");
    ExitButton = makeButton(this, "ExitButton", "Exit");
    clearButton = makeButton(this, "clearButton", "Clear");
    saveButton = makeButton(this, "saveButton", "Save...");

    commandString = new QLineEdit(this);
    commandString->setObjectName("commandString");
    lblCommand = makeLabel(this, "lblCommand", "Command String (Press <Enter> to send", commandString,
                           "Command String");
    commandString->setAccessibleDescription("Press Enter to send");
    responseBox = new QPlainTextEdit(this);
    responseBox->setObjectName("responseBox");
    responseBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Long entries (a port error, a long reply) wrap instead of hiding behind a horizontal bar.
    responseBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    responseBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    responseBox->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Entries are not edits: keeping each for undo would make the log's memory grow without bound.
    responseBox->setUndoRedoEnabled(false);
    // The log stays editable, but Tab moves on to the next control, as everywhere else in the window.
    responseBox->setTabChangesFocus(true);
    lblResponse = makeLabel(this, "lblResponse", "Response Strings", responseBox, "Response Strings");
}

void serialComm::layOutControls()
{
    auto* settings = new QGridLayout;
    settings->addWidget(lblPortName, 0, 0);
    settings->addWidget(portChoice, 0, 1);
    settings->addWidget(lblBaudRate, 0, 2);
    settings->addWidget(baudChoice, 0, 3);
    settings->addWidget(lblDataBits, 1, 0);
    settings->addWidget(dataBitChoice, 1, 1);
    settings->addWidget(lblStopBit, 1, 2);
    settings->addWidget(stopBitChoice, 1, 3);
    settings->addWidget(lblParity, 2, 0);
    settings->addWidget(parityChoice, 2, 1);
    settings->addWidget(lblTimeOut, 2, 2);
    settings->addWidget(timeOutBox, 2, 3);
    settings->setColumnStretch(1, 1);
    settings->setColumnStretch(3, 1);
    settings->setColumnMinimumWidth(2, 20);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openPort);
    buttons->addWidget(closePort);
    buttons->addWidget(ExitButton);

    auto* responseHeader = new QHBoxLayout;
    responseHeader->addWidget(lblResponse);
    responseHeader->addStretch();
    responseHeader->addWidget(clearButton);
    responseHeader->addWidget(saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    layout->addWidget(lblCommand);
    layout->addWidget(commandString);
    layout->addLayout(responseHeader);
    layout->addWidget(responseBox, 1);
    resize(520, 440);

    // Tab follows the rows, left to right; the command entry comes before the log's own buttons.
    QWidget* const order[] = {portChoice,  baudChoice, dataBitChoice, stopBitChoice, parityChoice,
                              timeOutBox,  openPort,   closePort,     ExitButton,    commandString,
                              clearButton, saveButton, responseBox};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void serialComm::connectControls()
{
    for (QComboBox* list : {baudChoice, dataBitChoice, parityChoice, stopBitChoice})
        connect(list, &QComboBox::currentIndexChanged, this, &serialComm::syncSettings);
    connect(portChoice, &QComboBox::currentIndexChanged, this, [this] {
        syncSettings();
        emit portChosen(portChoice->itemText(portChoice->currentIndex()));
    });
    for (QComboBox* list : settingLists())
        connect(list->lineEdit(), &QLineEdit::editingFinished, this, [this, list] { commitTyped(list); });
    connect(timeOutBox, &QLineEdit::textChanged, this, &serialComm::syncSettings);
    connect(openPort, &QPushButton::clicked, this, &serialComm::openPortAction);
    connect(closePort, &QPushButton::clicked, this, &serialComm::closePortAction);
    connect(ExitButton, &QPushButton::clicked, this, &serialComm::exitAction);
    connect(clearButton, &QPushButton::clicked, responseBox, &QPlainTextEdit::clear);
    connect(saveButton, &QPushButton::clicked, this, &serialComm::onSave);
    connect(commandString, &QLineEdit::returnPressed, this, &serialComm::sendTypedCommand);
    commandString->installEventFilter(this);
}

void serialComm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    commandString->setFocus();
}

void serialComm::syncSettings()
{
    // Kept current on every change, so an exchange started from anywhere (the upload included)
    // opens the port with what the window shows. An open port stays open with its settings; only
    // another port's choice closes it, between exchanges, so that the list shows the port in use.
    const int port = portChoice->currentIndex() >= 0 ? portChoice->currentIndex() : 0;
    const std::string name = portChoice->itemText(port).toStdString();
    if (uploading_ || busy_)
        console_.setPortName(name);
    else
        console_.choosePort(name);
    console_.setSettings(selectedSettings());
    console_.setTimeoutText(timeOutBox->text().toStdString());
}

serial::PortSettings serialComm::selectedSettings() const
{
    serial::PortSettings settings =
        serial::PortSettings::fromIndexes(baudChoice->currentIndex(), dataBitChoice->currentIndex(),
                                          parityChoice->currentIndex(), stopBitChoice->currentIndex());
    // A rate typed in is an item after the list's own; its text was read as a rate before it was added.
    if (const int rate = baudChoice->itemText(baudChoice->currentIndex()).toInt(); rate > 0)
        settings.baudRate = rate;
    return settings;
}

std::vector<QComboBox*> serialComm::settingLists() const
{
    return {portChoice, baudChoice, dataBitChoice, parityChoice, stopBitChoice};
}

void serialComm::commitTypedSettings()
{
    for (QComboBox* list : settingLists())
        commitTyped(list);
}

void serialComm::commitTyped(QComboBox* list)
{
    const QString typed = list->lineEdit()->text();
    const QString selected = list->itemText(list->currentIndex());
    if (typed == selected)
        return;
    std::string item;
    const serial::Result<> read = readTyped(list, typed.toStdString(), &item);
    if (!read.ok()) {
        list->setEditText(selected);
        Bell::ring();
        appendResponse(QString::fromStdString(read.message));
        return;
    }
    const QString chosen = QString::fromStdString(item);
    if (list == portChoice) {
        portChoice->choose(chosen);
    } else {
        int index = list->findText(chosen, Qt::MatchFixedString);
        if (index < 0) {
            list->addItem(chosen);
            index = list->count() - 1;
        }
        list->setCurrentIndex(index);
    }
    list->setEditText(list->itemText(list->currentIndex())); // the list's own spelling of it
}

serial::Result<> serialComm::readTyped(QComboBox* list, const std::string& typed, std::string* item) const
{
    using console::TypedSetting;
    if (list == portChoice) {
        *item = QString::fromStdString(typed).trimmed().toStdString();
        if (PortList::isPortName(QString::fromStdString(*item), console_.catalog()))
            return {};
        return serial::failed(
            TypedSetting::refusal("Port Name", typed,
                                  "a port's name: one of the list's, COMn, a device that exists, or a serial "
                                  "server's address such as rfc2217://host:4001"));
    }
    const TypedSetting::List which = list == baudChoice      ? TypedSetting::List::BaudRate
                                     : list == dataBitChoice ? TypedSetting::List::DataBits
                                     : list == parityChoice  ? TypedSetting::List::Parity
                                                             : TypedSetting::List::StopBits;
    return TypedSetting::read(which, typed, item);
}

void serialComm::selectPort(const QString& name)
{
    portChoice->choose(name);
    syncSettings();
}

void serialComm::setPortControlsEnabled(bool flag)
{
    for (QWidget* control : std::initializer_list<QWidget*>{portChoice, baudChoice, dataBitChoice,
                                                            stopBitChoice, parityChoice, timeOutBox})
        control->setEnabled(flag);
    // Choosing another port closes the open one, so the port list stays usable while it is open.
    portChoice->setEnabled(true);
}

void serialComm::onStateChanged(bool open)
{
    connectWait_.reset(); // the opening is over
    openPort->setEnabled(!open);
    closePort->setEnabled(open);
    setPortControlsEnabled(!open);
    emit portStateChanged(open);
}

bool serialComm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == commandString && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            const std::string current = commandString->text().toLatin1().toStdString();
            const std::string shown = key == Qt::Key_Up ? history_.older(current) : history_.newer(current);
            commandString->setText(QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size())));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void serialComm::openPortAction()
{
    commitTypedSettings();
    syncSettings();
    runResponsive([this] { console_.openPort(); });
}

void serialComm::runResponsive(const std::function<void()>& work)
{
    if (busy_ || uploading_) { // the events let through cannot start another one, but a caller can
        work();
        return;
    }
    busy_ = true;
    stopRequested_ = false;
    pump_.start();
    work();
    connectWait_.reset();
    busy_ = false;
    emit busyEnded();
}

bool serialComm::stopAsked()
{
    if (uploading_)
        return uploadStop_.requested();
    return busy_ && keepAlive();
}

bool serialComm::keepAlive()
{
    if (connectWait_)
        pump_.pump(); // the user's input is dropped meanwhile (InputBlocker)
    return stopRequested_;
}

void serialComm::onSave()
{
    QWidget* parent = this;
    DialogFileChooser platform;
    FileChooser& chooser = chooser_ ? *chooser_ : platform;
    const QString path =
        chooser.chooseSaveFile(parent, "response-log.txt", "Text files (*.txt);;All files (*)");
    if (!path.isEmpty())
        saveLog(path);
}

bool serialComm::saveLog(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    // Where others can put a link under the name, the log goes to that name only or nowhere.
    const bool shared = othersCanWrite(info.absolutePath());
    QString problem;
    if (shared && info.isSymLink()) {
        problem = linkRefusal(path);
    } else if (info.exists() && !info.isFile()) {
        problem = info.isDir() ? "it is a folder" : "it is not a plain file";
    } else if (shared) {
        problem = writeWithoutFollowing(path, responseText().toUtf8());
    } else {
        // Written beside the file and then put in its place, so that a full disk or a failed write
        // never leaves half a log where the old file was (where the folder allows it).
        QSaveFile file(path);
        file.setDirectWriteFallback(true); // a writable file in a folder that takes no new files
        if (!file.open(QIODevice::WriteOnly) || file.write(responseText().toUtf8()) < 0 || !file.commit())
            problem = file.errorString();
    }
    if (!problem.isEmpty()) {
        Bell::ring();
        appendResponse("Cannot save the log to " + shown + ": " + problem + ".");
        return false;
    }
    appendResponse("Log saved to " + shown + ".");
    return true;
}

void serialComm::closePortAction()
{
    console_.closePort();
}

void serialComm::exitAction()
{
    closePortAction();
    hide();
}

void serialComm::appendResponse(const QString& text)
{
    // Added at the end by a cursor of its own, so an entry costs the same however long the log is; the
    // view stays where it was (at the top unless the user scrolled) and does not follow the newest
    // entry, and the user's cursor is not moved.
    QScrollBar* bar = responseBox->verticalScrollBar();
    const int viewAt = bar->value();
    QTextCursor end(responseBox->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text + "\n");
    bar->setValue(viewAt);
}

QString serialComm::responseText() const
{
    QString text = responseBox->toPlainText();
    text.replace("\n", "\r\n");
    return text;
}

hostlink::ExchangeResult serialComm::sendCommand(const std::string& cmd)
{
    commitTypedSettings();
    syncSettings();
    return console_.sendCommand(cmd);
}

std::string serialComm::appendFCS(std::int16_t id, std::string& cmd)
{
    return hostlink::Frame::appendFCS(id, cmd);
}

int serialComm::computeFCS(const std::string& cmd)
{
    return hostlink::Frame::computeFCS(cmd);
}

void serialComm::sendTypedCommand()
{
    // Protocol text is 8-bit: typed characters go out as Latin-1, replies come back the same way, their
    // control characters shown as the trace shows them so that one entry stays one line.
    const std::string command = commandString->text().toLatin1().toStdString();
    history_.add(command);
    hostlink::ExchangeResult result;
    runResponsive([&] { result = sendCommand(command); });
    // The command stays for Enter to repeat, selected so that typing starts a new one instead of
    // adding to it.
    commandString->selectAll();
    if (result.status == hostlink::ExchangeStatus::Interrupted) {
        appendResponse("(Stopped)");
        return;
    }
    if (result.hasResponse()) {
        const std::string shown = hostlink::ControlText::escapeControls(result.response);
        appendResponse(QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size())));
    } else if (!result.portFailed()) {
        Bell::ring();
        appendResponse("(Warning: No Response from PLC)");
    } else {
        Bell::ring(); // the port layer has logged why
    }
}

} // namespace vantor::app
