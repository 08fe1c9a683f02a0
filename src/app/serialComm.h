#pragma once

#include "app/EventPump.h"
#include "app/FileChooser.h"
#include "app/InputBlocker.h"
#include "app/PortChoiceBox.h"
#include "console/CommandHistory.h"
#include "console/SerialConsole.h"
#include "serial/Result.h"
#include "serial/StopToken.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // main panel does when its choice (COM7, COM8 or a device) is not one of this list's items. Another
    // port that is open is closed (the log says so), unless an exchange runs.
    void selectPort(const QString& name);

    // Where "Save..." asks for the file to save the log to; null: the platform's dialog. Not owned.
    void setFileChooser(FileChooser* chooser) { chooser_ = chooser; }
    // Writes the log to path, as UTF-8 with CR LF line ends; false when the file was refused, which the
    // log then says. In a folder others can write (POSIX), a link under the name is refused, naming it,
    // and nothing is written: the log is never written through a link that may have been planted there.
    bool saveLog(const QString& path);

    // An upload runs (the main panel's): the port choice then waits until it is over, and the
    // console's stop token answers what stop answers, instead of this window's Esc.
    void setUploading(bool uploading, serial::StopToken stop = {})
    {
        uploading_ = uploading;
        uploadStop_ = std::move(stop);
    }
    // Whether an Open Port or a typed command is under way, letting events through; see requestStop().
    bool isBusy() const { return busy_; }
    // Ends the Open Port or typed command under way at its next wait.
    void requestStop() { stopRequested_ = true; }

    // The log as its entries were written: each ended by CR LF.
    QString responseText() const;
    // Adds an entry at the end of the log (Response Strings); the view stays where the user left it.
    void appendResponse(const QString& text);

    // The console's catalog names the simulated PLC as SIM, one for the whole run: closing the port
    // keeps what it holds. Registering another under that name replaces it.
    console::SerialConsole& core() { return console_; }

    // The Open Port, Close Port and Exit actions.
    void openPortAction();
    void closePortAction();
    void exitAction();

signals:
    // The port opened or closed (a lost port included).
    void portStateChanged(bool open);
    // The user chose another port in this window's list.
    void portChosen(const QString& name);
    // A network port is being opened, which can take seconds; name as messages name it.
    void connecting(const QString& name);
    // An Open Port or a typed command is over (see isBusy()).
    void busyEnded();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls are made, laid out and connected in that order; the labels, buttons and log
    // after the settings' lists, whose names the labels are buddies of.
    void buildControls();
    void buildSettingsChoices();
    void buildButtonsAndLog();
    void layOutControls();
    void connectControls();
    void setPortControlsEnabled(bool flag);
    // Reads what was typed into list's text part when it differs from the selected item: a value the
    // list takes selects its item (added when the list lacks it), so the settings still come from the
    // selected items; anything else is refused at once, the box showing its selected item again and
    // the log saying why in one line. Runs when editing ends (Enter, focus leaving the box) and, for
    // every list, before any opening, so that what is shown is what the port opens with.
    void commitTyped(QComboBox* list);
    void commitTypedSettings();
    // The lists with a text part: port, baud rate, data bits, parity, stop bits.
    std::vector<QComboBox*> settingLists() const;
    // What text typed into list stands for: the item, or the log's line refusing it.
    serial::Result<> readTyped(QComboBox* list, const std::string& typed, std::string* item) const;
    // The settings of the selected items, which a typed baud rate may have added to its list.
    serial::PortSettings selectedSettings() const;
    void syncSettings();
    void onStateChanged(bool open);
    void sendTypedCommand();
    void onSave();
    // Runs work (an opening, a typed command); while it waits for a network port to open, the window
    // system's events are let through, the user's input dropped but Esc, which gives up; as an
    // upload does.
    void runResponsive(const std::function<void()>& work);
    // The console's stop token: the upload's while one runs, else whether Esc gave up the opening or
    // typed command under way (letting the events through meanwhile); never outside those.
    bool stopAsked();
    bool keepAlive();

    console::SerialConsole console_;
    console::CommandHistory history_;
    FileChooser* chooser_ = nullptr;
    bool uploading_ = false;
    serial::StopToken uploadStop_; // while uploading_
    bool busy_ = false;
    bool stopRequested_ = false;
    EventPump pump_;
    std::optional<InputBlocker> connectWait_; // while a network port opens outside an upload

    QLabel* lblPortName;
    QLabel* lblBaudRate;
    QLabel* lblDataBits;
    QLabel* lblParity;
    QLabel* lblStopBit;
    QLabel* lblTimeOut;
    PortChoiceBox* portChoice;
    QComboBox* baudChoice;
    QComboBox* dataBitChoice;
    QComboBox* parityChoice;
    QComboBox* stopBitChoice;
    QLineEdit* timeOutBox;
    QPushButton* openPort;
    QPushButton* closePort;
    QPushButton* ExitButton;
    QPushButton* clearButton;
    QPushButton* saveButton;
    QLabel* lblCommand;
    QLineEdit* commandString;
    QLabel* lblResponse;
    QPlainTextEdit* responseBox;
};

} // namespace vantor::app
