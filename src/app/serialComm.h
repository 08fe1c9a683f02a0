#pragma once

#include "console/CommandHistory.h"
#include "console/SerialConsole.h"
#include "plcsim/SimulatedPlcPort.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vantor::app {

// "PC Serial Port Setup": the port settings, Open Port / Close Port / Exit, the command entry and
// the response log. One instance lives for the whole run, usually hidden, and owns the one port
// (through console::SerialConsole, which does the work; this window holds the controls).
class serialComm : public QWidget
{
    Q_OBJECT

public:
    explicit serialComm(QWidget* parent = nullptr);
    ~serialComm() override;

    // The host-link operations the upload uses.
    hostlink::ExchangeResult sendCommand(const std::string& cmd);
    static std::string appendFCS(std::int16_t id, std::string& cmd);
    static int computeFCS(const std::string& cmd);

    // Selects the port item named name, adding it after the list's items when it is missing, as the
    // main panel does when its choice (COM7, COM8 or a device) is not one of this list's items.
    void selectPort(const QString& name);

    // The log as its entries were written: each ended by CR LF.
    QString responseText() const;

    console::SerialConsole& core() { return console_; }
    // The simulated PLC behind SIM, for the whole run: closing the port keeps what it holds.
    plcsim::SimulatedPlcPort& simulator() { return *simulator_; }

    // The Open Port, Close Port and Exit actions.
    void openPortAction();
    void closePortAction();
    void exitAction();

signals:
    // The port opened or closed (a lost port included).
    void portStateChanged(bool open);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void setPortControlsEnabled(bool flag);
    void appendResponse(const QString& text);
    void syncSettings();
    void onStateChanged(bool open);
    void sendTypedCommand();

    std::shared_ptr<plcsim::SimulatedPlcPort> simulator_;
    console::SerialConsole console_;
    console::CommandHistory history_;

    QLabel* lblPortName;
    QLabel* lblBaudRate;
    QLabel* lblDataBits;
    QLabel* lblParity;
    QLabel* lblStopBit;
    QLabel* lblTimeOut;
    QComboBox* portChoice;
    QComboBox* baudChoice;
    QComboBox* dataBitChoice;
    QComboBox* parityChoice;
    QComboBox* stopBitChoice;
    QLineEdit* timeOutBox;
    QPushButton* openPort;
    QPushButton* closePort;
    QPushButton* ExitButton;
    QPushButton* clearButton;
    QLabel* lblCommand;
    QLineEdit* commandString;
    QLabel* lblResponse;
    QPlainTextEdit* responseBox;
};

} // namespace vantor::app
