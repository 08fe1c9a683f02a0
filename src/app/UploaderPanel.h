#pragma once

#include "app/FileChooser.h"
#include "upload/UploadOutcome.h"

#include <QString>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor::app {

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

    // Transfers the chosen file into the PLC, reporting in the status label.
    upload::UploadOutcome UploadProgram();

    serialComm& console() { return *console_; }
    confirmOverwrite& confirmation() { return *confirm_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class StatusReporter;

    void buildControls(const QString& extraPort);
    void onBrowse();
    void onPortChanged();
    void onUploadClicked();

    std::unique_ptr<FileChooser> chooser_;
    serialComm* console_ = nullptr;
    confirmOverwrite* confirm_ = nullptr;

    QLabel* Label2;
    QLineEdit* Text2;
    QPushButton* Browse;
    QLabel* Label1;
    QLineEdit* PLCID;
    QComboBox* portChoice;
    QPushButton* SerialSetup;
    QCheckBox* ResetChoice;
    QPushButton* Upload;
    QLabel* Message;
};

} // namespace vantor::app
