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

} // namespace

int Screenshots::take(UploaderPanel& panel, const QString& directory, const QString& shownFile)
{
    QDir dir(directory);
    dir.mkpath(".");
    bool ok = save(panel, dir, "panel.png");

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
    ok = save(console, dir, "console.png") && ok;
    console.findChild<QPushButton*>("ExitButton")->click();

    panel.findChild<QPushButton*>("Browse")->click();
    panel.findChild<QLineEdit*>("Text2")->setText(QDir::toNativeSeparators(shownFile));
    panel.findChild<QPushButton*>("Upload")->click();
    ok = save(panel.confirmation(), dir, "confirmation.png") && ok;
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    ok = save(panel, dir, "panel-uploaded.png") && ok;

    // The port is still open on SIM after the upload; choosing another one closes it, and the log
    // says so.
    ports->setCurrentIndex(ports->findText("COM2"));
    panel.findChild<QPushButton*>("SerialSetup")->click();
    ok = save(console, dir, "console-port-switch.png") && ok;
    console.findChild<QPushButton*>("ExitButton")->click();

    // A port that is not there: the caption says which and why instead of blaming the PLC.
    panel.findChild<QPushButton*>("Upload")->click();
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    ok = save(panel, dir, "panel-port-error.png") && ok;

    // Saved, but the PLC never said the save was done: a warning.
    ports->setCurrentIndex(ports->findText("SIM"));
    plcsim::PlcFaults busy;
    busy.busyPolls = 100;
    simulateAnew(console, busy);
    panel.findChild<QPushButton*>("Upload")->click();
    panel.confirmation().findChild<QPushButton*>("yesButton")->click();
    ok = save(panel, dir, "panel-warning.png") && ok;

    // A long program, pictured half-way, then stopped.
    QTemporaryDir scratch;
    const QString longProgram = scratch.filePath("palletizer-line-4.VQC");
    QFile file(longProgram);
    file.open(QIODevice::WriteOnly);
    file.write("Vantor Compiled Code\r\n");
    for (int i = 0; i < 600; ++i)
        file.write(QString("03:%1\r\n").arg(1000 + i).toLatin1());
    file.close();
    plcsim::PlcFaults slow;
    slow.delayMs = 3;
    simulateAnew(console, slow);
    console.findChild<QPushButton*>("closePort")->click();
    panel.selectFile(longProgram);
    QTimer::singleShot(1500, &panel, [&] {
        ok = save(panel, dir, "panel-uploading.png") && ok;
        panel.findChild<QPushButton*>("stopButton")->click();
    });
    panel.UploadProgram();
    ok = save(panel, dir, "panel-stopped.png") && ok;
    simulateAnew(console, {});
    panel.findChild<QLineEdit*>("Text2")->setText(QDir::toNativeSeparators(shownFile));

    // A letter O typed for a zero: refused before anything is asked or sent.
    auto* id = panel.findChild<QLineEdit*>("PLCID");
    id->setText("O1");
    panel.findChild<QPushButton*>("Upload")->click();
    ok = save(panel, dir, "panel-plc-id.png") && ok;
    id->setText("01");
    return ok ? 0 : 1;
}

} // namespace vantor::app
