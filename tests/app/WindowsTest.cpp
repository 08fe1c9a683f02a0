// The windows driven as a user would, headless, against the simulated PLC in-process.
#include "app/Bell.h"
#include "app/EventPump.h"
#include "app/PortList.h"
#include "app/StatusLook.h"
#include "app/UploaderPanel.h"
#include "app/confirmOverwrite.h"
#include "app/serialComm.h"
#include "hostlink/Frame.h"
#include "plcsim/PtyPlcServer.h"
#include "plcsim/SimulatedPlcPort.h"
#include "serial/TcpListener.h"
#include "support/TempFile.h"
#include "upload/UploadProcedure.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

using namespace vantor;
using app::UploaderPanel;

namespace {

class ScriptedChooser : public app::FileChooser
{
public:
    explicit ScriptedChooser(QStringList answers) : answers_(std::move(answers)) {}
    QString chooseFile(QWidget*, const QString& filter, const QString& folder) override
    {
        filters << filter;
        folders << folder;
        return answers_.isEmpty() ? QString() : answers_.takeFirst();
    }
    QString chooseSaveFile(QWidget*, const QString&, const QString&) override
    {
        return answers_.isEmpty() ? QString() : answers_.takeFirst();
    }
    QStringList filters;
    QStringList folders; // where each dialog would have opened

private:
    QStringList answers_;
};

class Windows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app::Bell::setHandler([this] { ++beeps; });
    }
    void TearDown() override { app::Bell::setHandler({}); }

    void makePanel(QStringList files = {}, const QString& port = QString())
    {
        auto chooser = std::make_unique<ScriptedChooser>(files);
        chooser_ = chooser.get();
        panel = std::make_unique<UploaderPanel>(std::move(chooser), port);
        // The test's own simulated PLC behind SIM, so that it can set faults and read what it got.
        sim = std::make_shared<plcsim::SimulatedPlcPort>();
        panel->console().core().catalog().add(plcsim::SimulatedPlcPort::name,
                                              plcsim::SimulatedPlcPort::description, [s = sim] { return s; });
        panel->show();
    }
    template <typename T> T* in(QWidget& window, const char* name)
    {
        T* child = window.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    template <typename T> T* onPanel(const char* name) { return in<T>(*panel, name); }
    template <typename T> T* onConsole(const char* name) { return in<T>(panel->console(), name); }
    void click(QWidget& window, const char* button)
    {
        QTest::mouseClick(in<QPushButton>(window, button), Qt::LeftButton);
    }
    void choosePort(const char* name)
    {
        auto* list = onPanel<QComboBox>("portChoice");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        while (list->currentText() != name && list->currentIndex() < list->count() - 1)
            QTest::keyClick(list, Qt::Key_Down);
        ASSERT_EQ(list->currentText(), name);
    }
    void type(const QString& command)
    {
        auto* box = onConsole<QLineEdit>("commandString");
        box->clear();
        QTest::keyClicks(box, command);
        QTest::keyClick(box, Qt::Key_Return);
    }
    QString log() { return panel->console().responseText(); }
    std::vector<std::string> plcFrames()
    {
        const auto plc = sim->plc();
        return plc ? plc->frames() : std::vector<std::string>{};
    }
    bool enabled(const char* name) { return onConsole<QWidget>(name)->isEnabled(); }

    std::unique_ptr<UploaderPanel> panel;
    std::shared_ptr<plcsim::SimulatedPlcPort> sim; // behind the panel's SIM
    ScriptedChooser* chooser_ = nullptr;
    int beeps = 0;
};

// "COM 7 (/dev/ttyS6)" here, "COM 7 (COM7)" on Windows: how an opening failure names a COM port.
std::string comPortNamed(int n)
{
    const auto named = serial::PortCatalog().resolve("COM" + std::to_string(n));
    return named.displayName + " (" + named.device + ")";
}

QStringList items(QComboBox* list)
{
    QStringList all;
    for (int i = 0; i < list->count(); ++i)
        all << list->itemText(i);
    return all;
}

} // namespace

TEST_F(Windows, StartWithTheirCaptionsAndDefaults)
{
    makePanel();
    EXPECT_EQ(panel->windowTitle(), "Vantor Program Uploader Ver 1.0");
    EXPECT_EQ(onPanel<QLabel>("Label2")->text(), "File to Upload");
    EXPECT_EQ(onPanel<QLabel>("Label1")->text(), "PLC ID (00-FF)");
    EXPECT_EQ(onPanel<QLineEdit>("PLCID")->text(), "01");
    EXPECT_EQ(onPanel<QPushButton>("Browse")->text(), "Select");
    EXPECT_EQ(onPanel<QPushButton>("SerialSetup")->text(), "Serial Setup");
    EXPECT_EQ(onPanel<QCheckBox>("ResetChoice")->text(), "To RESET PLC After Upload");
    EXPECT_FALSE(onPanel<QCheckBox>("ResetChoice")->isChecked());
    EXPECT_EQ(onPanel<QPushButton>("Upload")->text(), "UPLOAD NOW!");
    EXPECT_FALSE(onPanel<QLabel>("Message")->isVisible());
    const QStringList panelPorts = items(onPanel<QComboBox>("portChoice"));
    EXPECT_EQ(panelPorts.mid(0, 8),
              (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(panelPorts.last(), "SIM");

    app::serialComm& console = panel->console();
    EXPECT_FALSE(console.isVisible()) << "created hidden while the panel loads";
    EXPECT_EQ(console.windowTitle(), "PC Serial Port Setup");
    EXPECT_EQ(items(onConsole<QComboBox>("portChoice")).mid(0, 6),
              (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"}));
    EXPECT_EQ(items(onConsole<QComboBox>("baudChoice")),
              (QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(onConsole<QComboBox>("portChoice")->currentText(), "COM1");
    EXPECT_EQ(onConsole<QComboBox>("baudChoice")->currentText(), "38400");
    EXPECT_EQ(onConsole<QComboBox>("dataBitChoice")->currentText(), "8");
    EXPECT_EQ(onConsole<QComboBox>("parityChoice")->currentText(), "None");
    EXPECT_EQ(onConsole<QComboBox>("stopBitChoice")->currentText(), "1");
    EXPECT_EQ(onConsole<QLineEdit>("timeOutBox")->text(), "500 ");
    EXPECT_TRUE(enabled("openPort"));
    EXPECT_FALSE(enabled("closePort"));
    EXPECT_EQ(log(), "");
}

TEST_F(Windows, ThePanelsPortChoiceReachesTheConsole)
{
    makePanel();
    choosePort("COM3");
    EXPECT_EQ(onConsole<QComboBox>("portChoice")->currentText(), "COM3");
    EXPECT_EQ(panel->console().core().portName(), "COM3");

    // COM7 is not one of the console's items: it is added there, and opening it says what is wrong.
    choosePort("COM7");
    EXPECT_EQ(onConsole<QComboBox>("portChoice")->currentText(), "COM7");
    click(panel->console(), "openPort");
    EXPECT_TRUE(
        log().startsWith(QString::fromStdString("Cannot open " + comPortNamed(7) + ": no such device")))
        << log().toStdString();
    EXPECT_TRUE(log().endsWith("\r\n"));
    EXPECT_TRUE(enabled("openPort")) << "a failed opening leaves the window closed";
    EXPECT_TRUE(enabled("portChoice"));
}

TEST_F(Windows, StartUpPortIsAddedToBothLists)
{
    makePanel({}, "/dev/ttyVANTOR9");
    EXPECT_EQ(onPanel<QComboBox>("portChoice")->currentText(), "/dev/ttyVANTOR9");
    EXPECT_EQ(onConsole<QComboBox>("portChoice")->currentText(), "/dev/ttyVANTOR9");
}

TEST_F(Windows, OpenCloseAndExitFollowThePortState)
{
    makePanel({}, "SIM");
    click(*panel, "SerialSetup");
    EXPECT_TRUE(panel->console().isVisible());
    auto* baud = onConsole<QComboBox>("baudChoice");
    baud->setCurrentIndex(baud->findText("9600"));

    click(panel->console(), "openPort");
    EXPECT_EQ(log(), "SIM: Open at 9600,N,8,1\r\n");
    EXPECT_FALSE(enabled("openPort"));
    EXPECT_TRUE(enabled("closePort"));
    for (const char* setting : {"baudChoice", "dataBitChoice", "parityChoice", "stopBitChoice", "timeOutBox"})
        EXPECT_FALSE(enabled(setting)) << setting;
    EXPECT_TRUE(enabled("portChoice")) << "choosing another port closes this one";
    click(panel->console(), "openPort");
    EXPECT_EQ(log(), "SIM: Open at 9600,N,8,1\r\n") << "a second click changes nothing";

    click(panel->console(), "ExitButton");
    EXPECT_FALSE(panel->console().isVisible());
    EXPECT_FALSE(panel->console().core().isOpen());
    click(*panel, "SerialSetup");
    EXPECT_TRUE(enabled("openPort"));
    EXPECT_FALSE(enabled("closePort"));
    EXPECT_TRUE(enabled("baudChoice"));
    EXPECT_EQ(baud->currentText(), "9600") << "settings survive hiding";

    click(panel->console(), "openPort");
    click(panel->console(), "closePort");
    EXPECT_TRUE(enabled("openPort"));
    EXPECT_EQ(log(), "SIM: Open at 9600,N,8,1\r\nSIM: Open at 9600,N,8,1\r\n") << "closing logs nothing";
    click(panel->console(), "clearButton");
    EXPECT_EQ(log(), "");
}

TEST_F(Windows, EnterSendsTheTypedCommandAndLogsTheReply)
{
    makePanel({}, "SIM");
    click(*panel, "SerialSetup");
    auto* timeout = onConsole<QLineEdit>("timeOutBox");
    timeout->setText("100");

    type("@01C230*");
    EXPECT_EQ(log(), "SIM: Open at 38400,N,8,1\r\n@01C20030*\r\n") << "the opening line comes first";
    EXPECT_EQ(onConsole<QLineEdit>("commandString")->text(), "@01C230*") << "kept for a repeat";
    QTest::keyClick(onConsole<QLineEdit>("commandString"), Qt::Key_Return);
    EXPECT_TRUE(log().endsWith("@01C20030*\r\n@01C20030*\r\n"));
    EXPECT_EQ(beeps, 0);

    type("@02C230*"); // another PLC's address: nothing answers
    EXPECT_TRUE(log().endsWith("(Warning: No Response from PLC)\r\n"));
    EXPECT_EQ(beeps, 1);

    type(""); // an empty command takes the ENQ handshake, then its empty line gets no reply
    EXPECT_TRUE(log().endsWith("(Warning: No Response from PLC)\r\n(Warning: No Response from PLC)\r\n"));
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(sim->plc()->enqCount(), 1);
    EXPECT_EQ(plcFrames(), (std::vector<std::string>{"@01C230*", "@01C230*", "@02C230*", ""}));

    // A reply's control characters are shown, so one reply stays one line of the log. (Not a CR: that
    // ends the reply wherever a read of the line happens to stop after it.)
    auto* box = onConsole<QLineEdit>("commandString");
    box->setText(":A\x07"
                 "B\x1b");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(log().endsWith("(Warning: No Response from PLC)\r\n:A<x07>B<x1B>\r\n"))
        << log().toStdString();

    // Up and Down walk the commands sent, newest first, back to what was being typed.
    box->setText("@01");
    QStringList walk;
    for (const auto key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up,
                           Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(box, key);
        walk << box->text();
    }
    EXPECT_EQ(walk, (QStringList{":A\x07"
                                 "B\x1b",
                                 "", "@02C230*", "@01C230*", "@01C230*", "@01C230*", "@02C230*", "",
                                 ":A\x07"
                                 "B\x1b",
                                 "@01", "@01"}));

    // The view stays at the top of a long log; it does not follow the newest entry.
    box->setText("@01C230*");
    for (int i = 0; i < 200; ++i)
        QTest::keyClick(box, Qt::Key_Return);
    auto* bar = onConsole<QPlainTextEdit>("responseBox")->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(log().endsWith("@01C20030*\r\n@01C20030*\r\n"));
}

TEST_F(Windows, WithoutEnqAnswerTheTypedCommandIsNotSent)
{
    makePanel({}, "SIM");
    plcsim::PlcFaults faults;
    faults.noEnqAnswer = true;
    sim->setFaults(faults);
    onConsole<QLineEdit>("timeOutBox")->setText("100");
    type("RS");
    EXPECT_TRUE(log().endsWith("(Warning: No Response from PLC)\r\n"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(plcFrames().empty());
}

TEST_F(Windows, YesRunsOneUploadAndNoRunsNone)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n; skip\r\n05:\r\n");
    test::TempFile record("");
    makePanel({QString::fromStdString(program.path())}, "SIM");
    std::string error;
    ASSERT_TRUE(panel->keepRecord(record.path(), &error)) << error;
    record::RecordStamp stamp; // as vantor-uploader --tag gives it
    ASSERT_TRUE(stamp.addTag("order=WO-7 \"north\"\tcabinet \xc3\xa9").ok());
    panel->setRecordStamp(stamp);
    // What anyone who starts the program can set says nothing of who and where.
    std::map<const char*, QByteArray> environment;
    for (const char* name : {"USER", "USERNAME", "LOGNAME", "HOSTNAME", "COMPUTERNAME"}) {
        environment[name] = qgetenv(name);
        qputenv(name, "mallory");
    }
    click(*panel, "Browse");
    EXPECT_EQ(chooser_->filters, QStringList{"Vantor Compiled Code (*.VQC)"});
    EXPECT_EQ(onPanel<QLineEdit>("Text2")->text().toStdString(), program.path());

    click(*panel, "Upload");
    EXPECT_EQ(beeps, 1);
    ASSERT_TRUE(panel->confirmation().isVisible());
    EXPECT_EQ(panel->confirmation().windowTitle(), "Confirmation");
    EXPECT_EQ(in<QLabel>(panel->confirmation(), "target")->text(),
              QFileInfo(QString::fromStdString(program.path())).fileName() + ": 2 records to PLC 01 on SIM");
    click(panel->confirmation(), "NoButton");
    EXPECT_FALSE(panel->confirmation().isVisible());
    EXPECT_TRUE(plcFrames().empty());
    EXPECT_FALSE(onPanel<QLabel>("Message")->isVisible());

    onPanel<QCheckBox>("ResetChoice")->click();
    click(*panel, "Upload");
    click(panel->confirmation(), "yesButton");
    EXPECT_FALSE(panel->confirmation().isVisible());
    EXPECT_TRUE(onPanel<QLabel>("Message")->isVisible());
    EXPECT_EQ(onPanel<QLabel>("Message")->text(), " 2 Lines Uploaded!");
    std::vector<std::string> expected;
    for (const char* c : {"C2", "CZ00", "CT", "CS", "IR", "CL", "C1", "CL"})
        expected.push_back(hostlink::Frame::build(1, c));
    EXPECT_EQ(plcFrames(), expected) << "exactly one upload";
    // The record holds that one upload, as the command line would have written it.
    std::ifstream in(record.path());
    std::string line, more;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_FALSE(std::getline(in, more)) << more;
    const auto result = nlohmann::json::parse(line);
    for (const auto& [key, value] :
         std::map<std::string, nlohmann::json>{{"port", "SIM"},
                                               {"id", "01"},
                                               {"outcome", "saved"},
                                               {"records", 2},
                                               {"reset", true},
                                               {"status", 0},
                                               {"absolute_path", program.path()},
                                               {"host", QSysInfo::machineHostName().toStdString()},
                                               {"profile", nullptr},
                                               {"tags", {{"order", "WO-7 \"north\"\tcabinet \xc3\xa9"}}}})
        EXPECT_EQ(result[key], value) << key;
    EXPECT_NE(result.value("user", "mallory"), "mallory");
    EXPECT_NE(result.value("user", ""), "");
    for (const auto& [name, value] : environment)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    EXPECT_EQ(log(), "SIM: Open at 38400,N,8,1\r\n");
    EXPECT_TRUE(panel->console().core().isOpen()) << "the port stays open after an upload";
}

TEST_F(Windows, TheConfirmationIgnoresEnterAndEscape)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    makePanel({QString::fromStdString(program.path())}, "SIM");
    click(*panel, "Browse");
    click(*panel, "Upload");
    // Enter answers only on the focused button, and only when pressed there (the dialog's own test);
    // the dialog itself answers no key, and Escape nothing anywhere.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&panel->confirmation(), key);
    QTest::keyClick(in<QPushButton>(panel->confirmation(), "yesButton"), Qt::Key_Escape);
    EXPECT_TRUE(panel->confirmation().isVisible());
    EXPECT_TRUE(plcFrames().empty());
    QTest::keyClick(in<QPushButton>(panel->confirmation(), "yesButton"), Qt::Key_Space);
    EXPECT_FALSE(plcFrames().empty()) << "Space on the focused button is a deliberate press";
}

TEST_F(Windows, TheUploadReadsTheFileTheBoxShows)
{
    test::TempFile chosen("Vantor Compiled Code\r\n01:00\r\n02:00\r\n");
    test::TempFile typed("Vantor Compiled Code\r\n05:\r\n");
    makePanel({QString::fromStdString(chosen.path())}, "SIM");
    click(*panel, "Browse");
    click(*panel, "Browse"); // cancelled
    auto* box = onPanel<QLineEdit>("Text2");
    EXPECT_EQ(box->text().toStdString(), chosen.path()) << "Cancel keeps the earlier choice";
    box->clear();
    QTest::keyClicks(box, QString::fromStdString(typed.path()));
    click(*panel, "Upload");
    click(panel->confirmation(), "yesButton");
    EXPECT_EQ(onPanel<QLabel>("Message")->text(), " 1 Lines Uploaded!");

    // A name in any script is opened as the box shows it (on Windows too, beyond the ANSI code page).
    test::TempFile named("Vantor Compiled Code\r\n05:\r\n01:00\r\n",
                         "-F\u00f6rderband-\u043a\u043e\u043d\u0432\u0435\u0439\u0435\u0440.VQC");
    panel->selectFile(QString::fromStdString(named.path()));
    click(*panel, "Upload");
    click(panel->confirmation(), "yesButton");
    EXPECT_EQ(onPanel<QLabel>("Message")->text(), " 2 Lines Uploaded!");
}

TEST_F(Windows, UploadCaptionsNameWhatWentWrong)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    const QString path = QString::fromStdString(program.path());
    struct Case
    {
        const char* port;
        QString fileBox;
        const char* plcId;
        bool asks; // whether the confirmation comes up, or the caption says at once what is wrong
        std::string caption;
    };
    const Case cases[] = {
        {"SIM", "", "01", false, "No file chosen: select the program file first. Uploading aborted"},
        {"SIM", "   ", "01", false, "No file chosen: select the program file first. Uploading aborted"},
        {"SIM", "/tmp/vantor-nowhere.VQC", "01", false,
         "Cannot open /tmp/vantor-nowhere.VQC: no such file. Uploading aborted"},
        // Names are shown as typed, whatever their script, and a share that is not there is no hang.
        {"SIM",
         QString::fromUtf8(
             "/tmp/vantor-nowhere-F\u00f6rderband-\u043a\u043e\u043d\u0432\u0435\u0439\u0435\u0440.VQC"),
         "01", false,
         "Cannot open "
         "/tmp/vantor-nowhere-F\u00f6rderband-\u043a\u043e\u043d\u0432\u0435\u0439\u0435\u0440.VQC: "},
        {"SIM", "\\\\plc-server\\programs\\nowhere.VQC", "01", false,
         "Cannot open \\\\plc-server\\programs\\nowhere.VQC: "},
        {"SIM", path, "O1", false,
         "The PLC ID \"O1\" is not hexadecimal: enter the PLC's ID as 1 to 4 of the digits 0-9 and A-F, such "
         "as "
         "01 or 1F. Uploading aborted"},
        {"SIM", path, "01XYZ", false, "The PLC ID \"01XYZ\" is not hexadecimal"},
        {"SIM", path, " ", false,
         "No PLC ID given: enter the PLC's ID as 1 to 4 hexadecimal digits, such as 01."},
        {"COM2", path, "01", true,
         "Cannot open " + comPortNamed(2) +
             ": no such device. Check the port name, and that the adapter is plugged in. Upload aborted."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " '" + c.fileBox.toStdString() + "' " + c.plcId);
        makePanel({}, c.port);
        onPanel<QLineEdit>("Text2")->setText(c.fileBox);
        onPanel<QLineEdit>("PLCID")->setText(c.plcId);
        click(*panel, "Upload");
        EXPECT_EQ(panel->confirmation().isVisible(), c.asks);
        if (c.asks)
            click(panel->confirmation(), "yesButton");
        EXPECT_TRUE(onPanel<QLabel>("Message")->text().startsWith(QString::fromStdString(c.caption)))
            << onPanel<QLabel>("Message")->text().toStdString();
        EXPECT_TRUE(plcFrames().empty()) << "nothing reached a PLC";
    }
}

TEST_F(Windows, ATypedPortIsChosenOrUndone)
{
    makePanel();
    auto* ports = onPanel<QComboBox>("portChoice");
#ifdef Q_OS_WIN
    test::TempFile existing(""); // Windows has no device files to name; any existing path will do
    const QString device = QString::fromStdString(existing.path());
#else
    const QString device = "/dev/null";
#endif
    struct Case
    {
        QString typed;
        QString chosen;
    };
    for (const Case& c : {Case{"SIM", "SIM"}, Case{"com3", "COM3"}, Case{device, device},
                          Case{"/dev/ttyVANTOR-nowhere", device}, Case{"banana", device},
                          Case{"COM12", "COM12"}, Case{"rfc2217://[::1]:4001", "rfc2217://[::1]:4001"},
                          Case{"socket://nowhere", "rfc2217://[::1]:4001"}}) {
        SCOPED_TRACE(c.typed.toStdString());
        ports->setFocus();
        ports->lineEdit()->selectAll();
        QTest::keyClicks(ports->lineEdit(), c.typed);
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(ports->currentText(), c.chosen) << "the box shows the port the upload would use";
        EXPECT_EQ(ports->itemText(ports->currentIndex()), c.chosen);
        EXPECT_EQ(panel->console().core().portName(), c.chosen.toStdString());
    }
    // Leaving the box counts as Enter.
    ports->lineEdit()->setText("COM5");
    emit ports->lineEdit()->editingFinished();
    EXPECT_EQ(panel->console().core().portName(), "COM5");
}

TEST_F(Windows, ACloseRequestDuringAnUploadStopsItBeforeTheSave)
{
    std::string records;
    for (int i = 0; i < 400; ++i)
        records += "03:" + std::to_string(1000 + i) + "\r\n";
    test::TempFile program("Vantor Compiled Code\r\n" + records);
    makePanel({}, "SIM");
    plcsim::PlcFaults slow;
    slow.delayMs = 2;
    sim->setFaults(slow);
    panel->selectFile(QString::fromStdString(program.path()));
    QTimer::singleShot(150, panel.get(), [this] { panel->close(); });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(panel->UploadProgram(), upload::UploadOutcome::Interrupted);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << "promptly";
    EXPECT_TRUE(onPanel<QLabel>("Message")->text().startsWith("Upload interrupted after record"));
    const auto frames = plcFrames();
    EXPECT_GT(frames.size(), 1u) << "records went out before the close";
    EXPECT_EQ(std::count(frames.begin(), frames.end(), hostlink::Frame::build(1, "CS")), 0)
        << "never the save";
    EXPECT_FALSE(panel->console().core().isOpen()) << "the port is released";
    EXPECT_FALSE(panel->isVisible()) << "the program ends";
}

TEST_F(Windows, CaptionsThatNoLongerHoldAreCleared)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    test::TempFile other("Vantor Compiled Code\r\n05:\r\n");
    makePanel({}, "SIM");
    auto* status = onPanel<QLabel>("Message");
    const auto uploadOnce = [&] {
        panel->selectFile(QString::fromStdString(program.path()));
        click(*panel, "Upload");
        click(panel->confirmation(), "yesButton");
        ASSERT_EQ(status->text(), " 1 Lines Uploaded!");
    };
    uploadOnce();
    panel->selectFile(QString::fromStdString(other.path()));
    EXPECT_FALSE(status->isVisible()) << "a new file";
    uploadOnce();
    click(*panel, "Upload");
    click(panel->confirmation(), "NoButton");
    EXPECT_FALSE(status->isVisible()) << "No";
    uploadOnce();
    click(*panel, "SerialSetup");
    click(panel->console(), "closePort");
    EXPECT_FALSE(status->isVisible()) << "Close Port";

    // The confirmation names the file; typing another one withdraws it.
    click(*panel, "Upload");
    ASSERT_TRUE(panel->confirmation().isVisible());
    onPanel<QLineEdit>("Text2")->setText(QString::fromStdString(other.path()));
    EXPECT_FALSE(panel->confirmation().isVisible());
}

TEST_F(Windows, EveryCaptionFitsTheStatusLabel)
{
    makePanel();
    const std::string longPath = "/home/technician/projects/plant-2/line-4/conveyor-retrofit-2026/station-12/"
                                 "controller-b/compiled/release-candidate-3/conveyor-main-sequence.VQC";
    const std::string captions[] = {
        upload::UploadProcedure::lineCaption(300000),
        upload::UploadProcedure::savingCaption,
        upload::UploadProcedure::uploadedCaption(300000) + upload::UploadProcedure::saveNotConfirmedWarning,
        upload::UploadProcedure::uploadedCaption(13) + "\n(through /dev/ttyUSB0, the port still open)",
        "Cannot open /dev/ttyUSB0: permission denied, and no group may use it. Ask the administrator for "
        "access, "
        "for example a udev rule that gives your user or the dialout group read and write on /dev/ttyUSB0. "
        "Upload aborted.",
        longPath + " changed during the upload: 300000 records were sent but not saved, and the PLC's saved "
                   "program is unchanged. Upload aborted; upload the file again.",
        "Line 12345 of " + longPath +
            " is longer than 65536 bytes; no record is that long. Uploading aborted",
    };
    auto* status = onPanel<QLabel>("Message");
    for (const std::string& caption : captions) {
        SCOPED_TRACE(caption);
        panel->showStatus(QString::fromStdString(caption));
        EXPECT_GE(status->contentsRect().height(),
                  status->heightForWidth(status->width()) - 2 * status->frameWidth());
        EXPECT_LE(panel->height(), 400) << "the panel grows, within reason";
    }
}

TEST_F(Windows, ChoosingAnotherPortClosesTheOpenOne)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    makePanel({}, "SIM");
    panel->selectFile(QString::fromStdString(program.path()));
    click(*panel, "Upload");
    click(panel->confirmation(), "yesButton");
    ASSERT_TRUE(panel->console().core().isOpen());

    // In the panel: the open port is closed, and the console shows and will use the new one.
    auto* ports = onPanel<QComboBox>("portChoice");
    ports->setCurrentIndex(ports->findText("COM3"));
    EXPECT_FALSE(panel->console().core().isOpen());
    EXPECT_EQ(onConsole<QComboBox>("portChoice")->currentText(), "COM3");
    EXPECT_TRUE(enabled("openPort"));
    const std::string com3 = serial::PortCatalog().resolve("COM3").displayName;
    EXPECT_TRUE(log().endsWith(
        QString::fromStdString("SIM: Closed; " + com3 + " is opened by the next exchange or Open Port\r\n")))
        << log().toStdString();
    EXPECT_FALSE(onPanel<QLabel>("Message")->isVisible()) << "the caption was about SIM";

    // In Serial Setup, with COM3 open... cannot be here; open SIM there, then choose it back and forth.
    auto* consolePorts = onConsole<QComboBox>("portChoice");
    consolePorts->setCurrentIndex(consolePorts->findText("SIM"));
    EXPECT_EQ(ports->currentText(), "SIM") << "the panel follows Serial Setup";
    click(panel->console(), "openPort");
    const auto framesBefore = plcFrames().size();
    consolePorts->setCurrentIndex(consolePorts->findText("COM2"));
    EXPECT_EQ(ports->currentText(), "COM2");
    EXPECT_FALSE(panel->console().core().isOpen());
    click(*panel, "Upload");
    EXPECT_TRUE(in<QLabel>(panel->confirmation(), "target")->text().endsWith(" on COM2"));
    click(panel->confirmation(), "yesButton");
    EXPECT_TRUE(onPanel<QLabel>("Message")->text().startsWith(
        QString::fromStdString("Cannot open " + serial::PortCatalog().resolve("COM2").displayName)))
        << "the next exchange goes through the port chosen";
    EXPECT_EQ(plcFrames().size(), framesBefore) << "nothing more reached SIM";
}

TEST_F(Windows, TheStatusLabelShowsHowTheUploadEnded)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n05:\r\n");
    plcsim::PlcFaults none, unconfirmed, silent;
    unconfirmed.busyPolls = 100;
    silent.silent = true;
    struct Case
    {
        plcsim::PlcFaults faults;
        app::StatusTone tone;
        const char* caption;
        // Null: no detail. Else what the core's details, shown under the caption, say in the panel's words.
        const char* inDetail = nullptr;
    };
    for (const Case& c :
         {Case{none, app::StatusTone::Success, " 2 Lines Uploaded!"},
          Case{unconfirmed, app::StatusTone::Warning, " 2 Lines Uploaded! (Warning", "IR polls"},
          Case{silent, app::StatusTone::Failure, "No response from PLC",
               "a Timeout (ms) of 100 in Serial Setup"}}) {
        SCOPED_TRACE(c.caption);
        makePanel({}, "SIM");
        sim->setFaults(c.faults);
        onConsole<QLineEdit>("timeOutBox")->setText("50"); // 20 unanswered polls take a second, not ten
        panel->selectFile(QString::fromStdString(program.path()));
        click(*panel, "Upload");
        click(panel->confirmation(), "yesButton");
        auto* status = onPanel<QLabel>("Message");
        EXPECT_TRUE(status->text().startsWith(c.caption)) << status->text().toStdString();
        EXPECT_EQ(status->property("tone").toInt(), static_cast<int>(c.tone));
        auto* detail = onPanel<QLabel>("statusDetail");
        const bool detailed = c.inDetail != nullptr;
        EXPECT_EQ(detail->isVisible(), detailed) << detail->text().toStdString();
        EXPECT_TRUE(!detailed || detail->text().contains(c.inDetail)) << detail->text().toStdString();
        EXPECT_FALSE(detail->text().contains("--")) << "no command-line option in the window";
        EXPECT_FALSE(status->text().contains(detail->text()) && detailed)
            << "the caption is the core's alone";
        EXPECT_GE(detail->height(), detail->heightForWidth(detail->width())) << "the panel grew to hold it";
        EXPECT_FALSE(onPanel<QLabel>("MessageIcon")->pixmap().isNull()) << "an icon beside the text";
        const QPalette look = status->palette();
        EXPECT_GE(app::StatusLook::contrast(look.color(QPalette::WindowText), look.color(QPalette::Window)),
                  app::StatusLook::minimumContrast);
        EXPECT_FALSE(onPanel<QWidget>("uploadProgress")->isVisible());
        EXPECT_EQ(panel->windowTitle(), "Vantor Program Uploader Ver 1.0");
    }
    // Progress keeps yellow on the highlight colour, darkened where a light highlight would not read.
    for (const QColor highlight : {QColor(0x30, 0x8c, 0xc6), QColor(0x00, 0x78, 0xd7),
                                   QColor(0x99, 0xcc, 0xff), QColor(0x00, 0x00, 0x80)}) {
        QPalette window;
        window.setColor(QPalette::Highlight, highlight);
        const QPalette look = app::StatusLook::paletteFor(app::StatusTone::Progress, window);
        EXPECT_EQ(look.color(QPalette::WindowText), QColor(Qt::yellow));
        EXPECT_GE(app::StatusLook::contrast(Qt::yellow, look.color(QPalette::Window)),
                  app::StatusLook::minimumContrast)
            << highlight.name().toStdString();
    }
}

TEST_F(Windows, EscAndStopEndTheUploadBeforeTheSave)
{
    std::string records;
    for (int i = 0; i < 400; ++i)
        records += "03:" + std::to_string(1000 + i) + "\r\n";
    test::TempFile program("Vantor Compiled Code\r\n" + records);
    for (const bool byEsc : {true, false}) {
        SCOPED_TRACE(byEsc ? "Esc" : "Stop");
        makePanel({}, "SIM");
        test::TempFile record("");
        std::string error;
        ASSERT_TRUE(panel->keepRecord(record.path(), &error)) << error;
        plcsim::PlcFaults slow;
        slow.delayMs = 2;
        sim->setFaults(slow);
        panel->selectFile(QString::fromStdString(program.path()));
        onPanel<QPushButton>("Upload")->setFocus();
        int shown = -1;
        QString bar, title;
        bool uploadEnabled = true, stopVisible = false;
        QTimer::singleShot(300, panel.get(), [&] {
            auto* progress = onPanel<QProgressBar>("uploadProgress");
            shown = progress->isVisible() ? progress->value() : -1;
            bar = progress->text();
            title = panel->windowTitle();
            uploadEnabled = onPanel<QPushButton>("Upload")->isEnabled();
            stopVisible = onPanel<QPushButton>("stopButton")->isVisible();
            if (byEsc)
                QTest::keyClick(panel.get(), Qt::Key_Escape);
            else
                click(*panel, "stopButton");
        });
        EXPECT_EQ(panel->UploadProgram(), upload::UploadOutcome::Interrupted);
        EXPECT_GT(shown, 0);
        EXPECT_TRUE(bar.startsWith(QString("%1 of 400 records").arg(shown))) << bar.toStdString();
        EXPECT_TRUE(title.endsWith("% - Vantor Program Uploader Ver 1.0")) << title.toStdString();
        EXPECT_FALSE(uploadEnabled);
        EXPECT_TRUE(stopVisible);
        EXPECT_TRUE(onPanel<QLabel>("Message")->text().startsWith("Upload stopped after record"))
            << onPanel<QLabel>("Message")->text().toStdString();
        const auto frames = plcFrames();
        EXPECT_EQ(std::count(frames.begin(), frames.end(), hostlink::Frame::build(1, "CS")), 0);
        EXPECT_TRUE(panel->isVisible()) << "the program goes on";
        EXPECT_TRUE(onPanel<QPushButton>("Upload")->isEnabled());
        EXPECT_EQ(panel->focusWidget(), onPanel<QPushButton>("Upload")) << "the keyboard finds its way back";
        EXPECT_FALSE(onPanel<QPushButton>("stopButton")->isVisible());
        // Recorded as the command line records a stop: a stop the user asked for, not an internal error.
        std::ifstream in(record.path());
        std::string line;
        ASSERT_TRUE(std::getline(in, line));
        const auto result = nlohmann::json::parse(line);
        EXPECT_EQ(result["status"], 130) << line;
        EXPECT_EQ(result["outcome"], "interrupted") << line;
    }
}

#ifndef _WIN32
TEST_F(Windows, AWaitForALockedRecordIsShownAndEndsOnStopEscOrClose)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    enum class End { Stop, Esc, Close };
    for (const End end : {End::Stop, End::Esc, End::Close}) {
        SCOPED_TRACE(end == End::Stop ? "Stop" : end == End::Esc ? "Esc" : "closing the window");
        test::TempFile record("");
        makePanel({}, "SIM");
        std::string error;
        ASSERT_TRUE(panel->keepRecord(record.path(), &error)) << error;
        panel->selectFile(QString::fromStdString(program.path()));
        // Anyone who may read the record can hold a shared lock on it; another open file description
        // of it is another holder for flock, in this process too. It lets go after 3 s at the latest,
        // from another thread, should the upload's thread block.
        const int holder = ::open(record.path().c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_SH), 0);
        std::atomic<bool> over{false};
        std::thread release([&] {
            for (int i = 0; i < 300 && !over; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::close(holder);
        });
        QString shown;
        bool stopVisible = false;
        QTimer::singleShot(300, panel.get(), [&] {
            shown = onPanel<QLabel>("Message")->text();
            stopVisible = onPanel<QPushButton>("stopButton")->isVisible();
            if (end == End::Stop)
                click(*panel, "stopButton");
            else if (end == End::Esc)
                QTest::keyClick(panel.get(), Qt::Key_Escape);
            else
                panel->close();
        });
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(panel->UploadProgram(), upload::UploadOutcome::Completed);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << "the wait ended";
        over = true;
        release.join();
        EXPECT_TRUE(shown.startsWith(" 1 Lines Uploaded!\n(Waiting for the record file "))
            << shown.toStdString();
        EXPECT_TRUE(stopVisible) << "the wait can be given up";
        EXPECT_EQ(std::filesystem::file_size(record.path()), 0u);
        // The line is kept where the user can find it.
        const QStringList lines = log().split("\r\n", Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(
            lines.last().startsWith("Not in the record file " + QString::fromStdString(record.path())))
            << lines.last().toStdString();
        EXPECT_TRUE(lines.last().contains(R"("outcome":"saved")")) << lines.last().toStdString();
        EXPECT_EQ(panel->isVisible(), end != End::Close);
        if (end != End::Close) {
            const QString caption = onPanel<QLabel>("Message")->text();
            EXPECT_TRUE(caption.contains("missing from the record file")) << caption.toStdString();
            EXPECT_EQ(onPanel<QLabel>("Message")->property("tone").toInt(),
                      static_cast<int>(app::StatusTone::Warning));
        }
    }
}
#endif

TEST_F(Windows, PortListsAreListedAgainWhenOpened)
{
    serial::PortInfo adapter;
    adapter.device = "/dev/ttyUSB0";
    adapter.description = "FT232R USB UART";
    std::vector<serial::PortInfo> present{adapter};
    makePanel();
    panel->console().core().catalog().setLister([&] { return present; });
    for (QComboBox* list : {onPanel<QComboBox>("portChoice"), onConsole<QComboBox>("portChoice")}) {
        SCOPED_TRACE(list->parentWidget()->objectName().toStdString());
        list->showPopup();
        list->hidePopup();
        const int item = list->findText("/dev/ttyUSB0");
        ASSERT_GE(item, 0) << "plugged in after start-up";
        EXPECT_LT(item, list->findText("SIM"));
        EXPECT_EQ(list->itemData(item, Qt::ToolTipRole).toString(), "FT232R USB UART");
    }
    auto* ports = onPanel<QComboBox>("portChoice");
    ports->setCurrentIndex(ports->findText("/dev/ttyUSB0"));
    ports->lineEdit()->setText("socket://127.0.0.1:4001");
    emit ports->lineEdit()->editingFinished();
    present.clear();
    ports->showPopup();
    ports->hidePopup();
    const int pulled = ports->findText("/dev/ttyUSB0");
    ASSERT_GE(pulled, 0) << "pulled out, but still there to say which port it was";
    EXPECT_TRUE(ports->itemData(pulled, app::PortList::absentRole).toBool());
    EXPECT_GE(ports->findText("socket://127.0.0.1:4001"), 0) << "a typed port is kept";
    EXPECT_EQ(ports->currentText(), "socket://127.0.0.1:4001");
}

TEST_F(Windows, ANetworkPortThatTakesItsTimeCanBeWaitedForOrStopped)
{
    serial::TcpListener server; // takes the connection but never answers the Telnet negotiation
    ASSERT_TRUE(server.listen("127.0.0.1", 0).ok());
    const QString name = QString("rfc2217://127.0.0.1:%1").arg(server.port());
    for (const bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing ? "closing the panel" : "Esc");
        makePanel({}, name);
        click(*panel, "SerialSetup");
        QString shown;
        QTimer::singleShot(300, panel.get(), [&] {
            shown = onPanel<QLabel>("Message")->text();
            if (byClosing)
                panel->close();
            else
                QTest::keyClick(&panel->console(), Qt::Key_Escape);
        });
        const auto started = std::chrono::steady_clock::now();
        click(panel->console(), "openPort");
        EXPECT_EQ(shown.toStdString(), ("Connecting to " + name + "...").toStdString())
            << "said, and the window answered meanwhile";
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "the wait ended";
        EXPECT_FALSE(panel->console().core().isOpen());
        EXPECT_TRUE(log().contains("stopped on request")) << log().toStdString();
        EXPECT_FALSE(onPanel<QLabel>("Message")->isVisible()) << "the wait is over";
        EXPECT_EQ(panel->isVisible(), !byClosing);
    }
}

TEST_F(Windows, TheLogCanBeSavedOrSaysWhyNot)
{
    const QString dir =
        QDir::temp().filePath("vantor-log-" + QString::number(QCoreApplication::applicationPid()));
    QDir().mkpath(dir);
    const QString missing = dir + QString::fromUtf8("/F\u00f6rderband/log.txt");
    struct Refusal
    {
        QString chosen;
        QString why;
    };
    std::vector<Refusal> refusals{{missing, QString::fromUtf8("F\u00f6rderband")}, {dir, "it is a folder"}};
#ifndef _WIN32
    // In a folder anyone can write, links planted under the names chosen: to a file of the user's that
    // no one else may read, and to a file that does not exist yet.
    const QString shared = dir + "/shared", target = dir + "/private.txt", nowhere = dir + "/nowhere.txt";
    QDir().mkpath(shared);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("private\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    ASSERT_TRUE(QFile::link(target, shared + "/planted.txt"));
    ASSERT_TRUE(QFile::link(nowhere, shared + "/dangling.txt"));
    refusals.push_back({shared + "/planted.txt", "symbolic link to " + target});
    refusals.push_back({shared + "/dangling.txt", "symbolic link to " + nowhere});
#endif
    QStringList answers;
    for (const Refusal& r : refusals)
        answers << r.chosen;
    makePanel(answers << dir + "/log.txt", "SIM");
    type("@01C230*");
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.chosen.toStdString());
        click(panel->console(), "saveButton");
        const QStringList lines = log().split("\r\n", Qt::SkipEmptyParts);
        EXPECT_TRUE(lines.last().startsWith("Cannot save the log to " + QDir::toNativeSeparators(r.chosen)))
            << lines.last().toStdString();
        EXPECT_TRUE(lines.last().contains(r.why)) << lines.last().toStdString();
    }
#ifndef _WIN32
    QFile untouched(target);
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), "private\n") << "nothing was written through a link";
    EXPECT_FALSE(QFileInfo::exists(nowhere)) << "nothing was created where a link points";
    // A plain name in that folder is written, through a descriptor that would refuse a link.
    EXPECT_TRUE(panel->console().saveLog(shared + "/log.txt"));
    QFile plain(shared + "/log.txt");
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_TRUE(plain.readAll().contains("\r\n@01C2")) << "the log as it was";
#endif
    const QString kept = log();
    click(panel->console(), "saveButton");
    QFile saved(dir + "/log.txt");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_EQ(bytes.toStdString(), kept.toUtf8().toStdString()) << "UTF-8, CR LF";
    EXPECT_TRUE(bytes.contains("\r\n@01C2") && !bytes.contains("\r\r")) << bytes.toStdString();
    QDir(dir).removeRecursively();
}

TEST_F(Windows, TheFileDialogListsCompiledProgramsUnderItsLabel)
{
    const QString dir =
        QDir::temp().filePath("vantor-dialog-" + QString::number(QCoreApplication::applicationPid()));
    QDir().mkpath(dir);
    for (const char* name : {"/upper.VQC", "/lower.vqc", "/other.txt"}) {
        QFile f(dir + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const auto dialog = app::DialogFileChooser::makeDialog(nullptr, "Vantor Compiled Code (*.VQC)");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Vantor Compiled Code (*.VQC)"});
    dialog->setDirectory(dir);
    dialog->show();
    auto* view = dialog->findChild<QListView*>("listView");
    ASSERT_NE(view, nullptr);
    QStringList listed;
    [[maybe_unused]] const bool filled = QTest::qWaitFor([&] {
        listed.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            listed << view->model()->index(row, 0, root).data().toString();
        return listed.size() >= 2;
    });
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"lower.vqc", "upper.VQC"}));
    dialog->hide();
    QDir(dir).removeRecursively();
}

TEST_F(Windows, AFileFromTheCommandLineOrADropIsSelected)
{
    test::TempFile program("Vantor Compiled Code\r\n05:\r\n");
    makePanel({}, "SIM");
    const QString path = QString::fromStdString(program.path());
    QDir::setCurrent(QFileInfo(path).absolutePath());
    panel->selectFile(QFileInfo(path).fileName());
    EXPECT_EQ(onPanel<QLineEdit>("Text2")->text(), path) << "a relative path is shown in full";

    onPanel<QLineEdit>("Text2")->clear();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.get(), &drop);
    EXPECT_EQ(onPanel<QLineEdit>("Text2")->text(), path);
    click(*panel, "Upload");
    click(panel->confirmation(), "yesButton");
    EXPECT_EQ(onPanel<QLabel>("Message")->text(), " 1 Lines Uploaded!");
}

TEST_F(Windows, ClosingThePanelReleasesThePortAtOnce)
{
    makePanel({}, "SIM");
    click(*panel, "SerialSetup");
    click(panel->console(), "openPort");
    ASSERT_TRUE(panel->console().core().isOpen());
    auto* simulator = sim->server();
    const std::string device = simulator ? simulator->devicePath() : std::string();
    panel->close();
    EXPECT_FALSE(panel->console().isVisible());
    EXPECT_FALSE(panel->console().core().isOpen());
    if (device.empty())
        return; // an in-process simulator has no device another program could open
    console::SerialConsole other;
    other.setPortName(device);
    EXPECT_TRUE(other.openPort()) << "another program can have the port now";
}

TEST_F(Windows, EnterPressesTheFocusedButtonOnceHoweverLongItIsHeld)
{
    test::TempFile program("Vantor Compiled Code\r\n01:00\r\n");
    struct Case
    {
        const char* button;
        Qt::Key key;
        std::function<bool()> pressed; // what the press does happened, once
    };
    const auto dialogs = [this] { return chooser_->filters.size() == 1; };
    const auto console = [this] { return panel->console().isVisible(); };
    const auto asks = [this] { return panel->confirmation().isVisible() && beeps == 1; };
    for (const Case& c :
         {Case{"Browse", Qt::Key_Return, dialogs}, Case{"Browse", Qt::Key_Enter, dialogs},
          Case{"SerialSetup", Qt::Key_Return, console}, Case{"SerialSetup", Qt::Key_Enter, console},
          Case{"Upload", Qt::Key_Return, asks}, Case{"Upload", Qt::Key_Enter, asks}}) {
        SCOPED_TRACE(std::string(c.button) + (c.key == Qt::Key_Enter ? " keypad Enter" : " Return"));
        makePanel({}, "SIM");
        beeps = 0;
        panel->selectFile(QString::fromStdString(program.path()));
        auto* button = onPanel<QPushButton>(c.button);
        button->setFocus();
        const Qt::KeyboardModifiers keypad = c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        // A key held down: its repeats follow the first press and press nothing more.
        QKeyEvent repeat(QEvent::KeyPress, c.key, keypad, "\r", true);
        QCoreApplication::sendEvent(button, &repeat);
        EXPECT_FALSE(c.pressed()) << "a repeat is no press";
        QTest::keyClick(button, c.key, keypad);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendEvent(button, &repeat);
        EXPECT_TRUE(c.pressed());
        EXPECT_TRUE(plcFrames().empty()) << "nothing was sent without Yes";
    }
}

TEST_F(Windows, EveryControlIsReachedByTabAndNamedByItsLabel)
{
    makePanel({}, "SIM");
    struct Case
    {
        const char* control;
        const char* name;
        QAccessible::Role role;
    };
    const Case rows[] = {
        {"Text2", "File to Upload", QAccessible::EditableText},
        {"Browse", "Select", QAccessible::Button},
        {"PLCID", "PLC ID (00-FF)", QAccessible::EditableText},
        {"portChoice", "Port", QAccessible::ComboBox},
        {"SerialSetup", "Serial Setup", QAccessible::Button},
        {"ResetChoice", "To RESET PLC After Upload", QAccessible::CheckBox},
        {"Upload", "UPLOAD NOW!", QAccessible::Button},
    };
    // Tab from the file box walks the rows in order, and round again.
    onPanel<QWidget>("Text2")->setFocus();
    for (std::size_t i = 0; i <= std::size(rows); ++i) {
        const Case& row = rows[i % std::size(rows)];
        SCOPED_TRACE(row.control);
        QWidget* focused = panel->focusWidget();
        ASSERT_NE(focused, nullptr);
        if (focused->parentWidget() && focused->parentWidget()->objectName() == "portChoice")
            focused = focused->parentWidget(); // the editable list's own text box
        EXPECT_EQ(focused->objectName().toStdString(), row.control);
        QAccessibleInterface* announced =
            QAccessible::queryAccessibleInterface(onPanel<QWidget>(row.control));
        ASSERT_NE(announced, nullptr);
        // A list's name is its text where the screen reader reads a label relation instead (Unix).
        const QString name = row.role == QAccessible::ComboBox
                                 ? announced->object()->property("accessibleName").toString()
                                 : announced->text(QAccessible::Name);
        EXPECT_EQ(name.toStdString(), row.name);
        EXPECT_EQ(announced->role(), row.role);
        QTest::keyClick(focused, Qt::Key_Tab);
    }
}

TEST_F(Windows, SelectOpensWhereTheFileIs)
{
    const QString chosenDir =
        QDir::temp().filePath("vantor-folder-" + QString::number(QCoreApplication::applicationPid()));
    QDir().mkpath(chosenDir);
    const QString otherDir = QDir::tempPath();
    struct Case
    {
        QString box;    // what the file box names when Select is pressed
        QString folder; // where the dialog opens
    };
    const Case rows[] = {
        {"", QDir::currentPath()},                   // nothing chosen yet in this run
        {"", chosenDir},                             // the first row chose a file there
        {otherDir + "/not-there-yet.VQC", otherDir}, // the box's file, existing or not
        {"/vantor-nowhere/x.VQC", chosenDir},        // a folder that does not exist
    };
    makePanel({chosenDir + "/program.VQC"}, "SIM");
    for (const Case& row : rows) {
        SCOPED_TRACE(row.box.toStdString());
        onPanel<QLineEdit>("Text2")->setText(row.box);
        click(*panel, "Browse");
        ASSERT_FALSE(chooser_->folders.isEmpty());
        EXPECT_EQ(QDir(chooser_->folders.last()).absolutePath(), QDir(row.folder).absolutePath());
    }
    QDir(chosenDir).removeRecursively();
}

TEST_F(Windows, EveryRecordsCaptionIsSetWhileTheWindowIsDrawnAtAHumanRate)
{
    constexpr int records = 300;
    std::string lines;
    for (int i = 0; i < records; ++i)
        lines += "03:" + std::to_string(1000 + i) + "\r\n";
    test::TempFile program("Vantor Compiled Code\r\n" + lines);
    makePanel({}, "SIM");
    auto* status = onPanel<QLabel>("Message");
    // The caption as each frame goes out: record N's is set before record N + 1 is sent.
    struct WatchedPlc : plcsim::SimulatedPlcPort
    {
        using SimulatedPlcPort::SimulatedPlcPort;
        bool write(const std::string& bytes) override
        {
            seen << caption->text();
            return SimulatedPlcPort::write(bytes);
        }
        QLabel* caption = nullptr;
        QStringList seen;
    };
    auto watched = std::make_shared<WatchedPlc>();
    watched->caption = status;
    plcsim::PlcFaults slow;
    slow.delayMs = 1;
    watched->setFaults(slow);
    panel->console().core().catalog().add(
        plcsim::SimulatedPlcPort::name, plcsim::SimulatedPlcPort::description, [watched] { return watched; });
    panel->selectFile(QString::fromStdString(program.path()));
    struct PaintCount : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } drawn;
    status->installEventFilter(&drawn);
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(panel->UploadProgram(), upload::UploadOutcome::Completed);
    const qint64 ms = took.elapsed();
    status->removeEventFilter(&drawn);

    QStringList expected;
    for (int n = 1; n < records; ++n) // the last one's is followed by the save's before CS goes out
        expected << QString::fromStdString(upload::UploadProcedure::lineCaption(n));
    EXPECT_EQ(watched->seen.filter("Uploading Line #").join('|').toStdString(),
              expected.join('|').toStdString());
    EXPECT_EQ(status->text(), QString(" %1 Lines Uploaded!").arg(records)) << "the final caption as ever";
    // Once a slice at most, with a few for the captions around the records.
    EXPECT_LE(drawn.paints, ms / app::EventPump::sliceMs + 4) << ms << " ms";
    EXPECT_GT(ms, 4 * app::EventPump::sliceMs) << "long enough to tell";
}
