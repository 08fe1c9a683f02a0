#include "app/screenshots/Screenshots.h"

#include "app/UploaderPanel.h"
#include "app/confirmOverwrite.h"
#include "app/serialComm.h"
#include "plcsim/PlcFaults.h"
#include "plcsim/SimulatedPlcPort.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace vantor::app {

namespace {

void settle()
{
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

bool save(QWidget& window, const QDir& dir, const char* name)
{
    settle();
    const QString path = dir.filePath(name);
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

// SIM from its next opening on: a PLC of its own with faults, as a simulated PLC keeps its first ones.
void simulateAnew(serialComm& console, const plcsim::PlcFaults& faults)
{
    auto simulator = std::make_shared<plcsim::SimulatedPlcPort>();
    simulator->setFaults(faults);
    console.core().catalog().add(plcsim::SimulatedPlcPort::name, plcsim::SimulatedPlcPort::description,
                                 [simulator] { return simulator; });
}

// The console after three commands typed to SIM (the last a long one, with control characters); the
// box holds the next command, unsent.
bool shootConsole(UploaderPanel& panel, const QDir& dir)
{
    auto* ports = panel.findChild<QComboBox*>("portChoice");
    ports->setCurrentIndex(ports->findText("SIM"));
    panel.findChild<QPushButton*>("SerialSetup")->click();
    serialComm& console = panel.console();
    console.move(panel.x() + 40, panel.y() + 60);
    auto* command = console.findChild<QLineEdit*>("commandString");
    command->setText("@01C230*");
    QMetaObject::invokeMethod(command, "returnPressed", Qt::DirectConnection);
    command->setText("RS");
    QMetaObject::invokeMethod(command, "returnPressed", Qt::DirectConnection);
    command->setText(":RECIPE 7 SPEED=1200 RAMP=3.5 DWELL=250 TEMP=21.5 LIMIT=80 MODE=AUTO\x1b[0m");
    QMetaObject::invokeMethod(command, "returnPressed", Qt::DirectConnection);
    command->setText("@01C230*");
    const bool ok = save(console, dir, "console.png");
    console.findChild<QPushButton*>("ExitButton")->click();
    return ok;
}

// The confirmation, and the panel after the upload it confirmed.
bool shootUpload(UploaderPanel& panel, const QDir& dir, const QString& shownFile)
{
    panel.findChild<QPushButton*>("Browse")->click();
    panel.findChild<QLineEdit*>("Text2")->setText(QDir::toNativeSeparators(shownFile));
    panel.findChild<QPushButton*>("Upload")->click();
    bool ok = save(panel.confirmation(), dir, "confirmation.png");
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    ok = save(panel, dir, "panel-uploaded.png") && ok;
    return ok;
}

bool shootPortTrouble(UploaderPanel& panel, const QDir& dir)
{
    // The port is still open on SIM after the upload; choosing another one closes it, and the log
    // says so.
    auto* ports = panel.findChild<QComboBox*>("portChoice");
    ports->setCurrentIndex(ports->findText("COM2"));
    panel.findChild<QPushButton*>("SerialSetup")->click();
    serialComm& console = panel.console();
    bool ok = save(console, dir, "console-port-switch.png");
    console.findChild<QPushButton*>("ExitButton")->click();

    // A port that is not there: the caption says which and why instead of blaming the PLC.
    panel.findChild<QPushButton*>("Upload")->click();
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    ok = save(panel, dir, "panel-port-error.png") && ok;
    return ok;
}

// Saved, but the PLC never said the save was done: a warning.
bool shootWarning(UploaderPanel& panel, const QDir& dir)
{
    auto* ports = panel.findChild<QComboBox*>("portChoice");
    ports->setCurrentIndex(ports->findText("SIM"));
    plcsim::PlcFaults busy;
    busy.busyPolls = 100;
    simulateAnew(panel.console(), busy);
    panel.findChild<QPushButton*>("Upload")->click();
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    return save(panel, dir, "panel-warning.png");
}

// A program of 600 records in scratch; its path.
QString writeLongProgram(const QTemporaryDir& scratch)
{
    const QString longProgram = scratch.filePath("palletizer-line-4.VQC");
    QFile file(longProgram);
    file.open(QIODevice::WriteOnly);
    file.write("Vantor Compiled Code\r\n");
    for (int i = 0; i < 600; ++i)
        file.write(QString("03:%1\r\n").arg(1000 + i).toLatin1());
    return longProgram;
}

// A long program, pictured half-way, then stopped; the file box shows shownFile again afterwards.
bool shootStoppedUpload(UploaderPanel& panel, const QDir& dir, const QString& shownFile)
{
    QTemporaryDir scratch;
    const QString longProgram = writeLongProgram(scratch);
    plcsim::PlcFaults slow;
    slow.delayMs = 3;
    serialComm& console = panel.console();
    simulateAnew(console, slow);
    console.findChild<QPushButton*>("closePort")->click();
    panel.selectFile(longProgram);
    bool ok = true;
    QTimer::singleShot(1500, &panel, [&] {
        ok = save(panel, dir, "panel-uploading.png") && ok;
        panel.findChild<QPushButton*>("stopButton")->click();
    });
    panel.UploadProgram();
    ok = save(panel, dir, "panel-stopped.png") && ok;
    simulateAnew(console, {});
    panel.findChild<QLineEdit*>("Text2")->setText(QDir::toNativeSeparators(shownFile));
    return ok;
}

// A letter O typed for a zero: refused before anything is asked or sent.
bool shootPlcIdRefusal(UploaderPanel& panel, const QDir& dir)
{
    auto* id = panel.findChild<QLineEdit*>("PLCID");
    id->setText("O1");
    panel.findChild<QPushButton*>("Upload")->click();
    const bool ok = save(panel, dir, "panel-plc-id.png");
    id->setText("01");
    return ok;
}

// Uploads the file in the box to SIM with faults, from a fresh opening, and pictures how it ended.
bool shootFailure(UploaderPanel& panel, const QDir& dir, const plcsim::PlcFaults& faults, const char* name)
{
    serialComm& console = panel.console();
    simulateAnew(console, faults);
    console.findChild<QPushButton*>("closePort")->click();
    panel.findChild<QPushButton*>("Upload")->click();
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    return save(panel, dir, name);
}

// Failures that say what to try next: a PLC that answers nothing (the detail under the caption), and
// a line lost mid-upload.
bool shootFailures(UploaderPanel& panel, const QDir& dir, const QString& shownFile)
{
    plcsim::PlcFaults silent, lost;
    silent.silent = true;
    lost.hangUpAfterFrames = 260; // the link test and 259 records
    bool ok = shootFailure(panel, dir, silent, "panel-no-response.png");
    QTemporaryDir scratch;
    panel.selectFile(writeLongProgram(scratch));
    ok = shootFailure(panel, dir, lost, "panel-port-lost.png") && ok;
    simulateAnew(panel.console(), {});
    panel.findChild<QLineEdit*>("Text2")->setText(QDir::toNativeSeparators(shownFile));
    return ok;
}

} // namespace

int Screenshots::take(UploaderPanel& panel, const QString& directory, const QString& shownFile)
{
    QDir dir(directory);
    dir.mkpath(".");
    bool ok = save(panel, dir, "panel.png");
    ok = shootConsole(panel, dir) && ok;
    ok = shootUpload(panel, dir, shownFile) && ok;
    ok = shootPortTrouble(panel, dir) && ok;
    ok = shootWarning(panel, dir) && ok;
    ok = shootStoppedUpload(panel, dir, shownFile) && ok;
    ok = shootPlcIdRefusal(panel, dir) && ok;
    ok = shootFailures(panel, dir, shownFile) && ok;
    return ok ? 0 : 1;
}

} // namespace vantor::app
