#pragma once

#include <QString>
#include <memory>

class QFileDialog;
class QWidget;

namespace vantor::app {

// The file-open dialog behind Select, replaceable in tests.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // Shows the dialog for opening one file, listing what matches filter ("Label (*.EXT)"), in folder
    // (an absolute path; empty: the dialog's own choice), and blocks until it is closed. Returns the
    // chosen file's full name, or an empty text on Cancel.
    virtual QString chooseFile(QWidget* parent, const QString& filter, const QString& folder) = 0;
    // Shows the dialog for saving a file, proposing name, and blocks until it is closed. Returns the
    // file's full name, or an empty text on Cancel.
    virtual QString chooseSaveFile(QWidget* parent, const QString& name, const QString& filter) = 0;
};

// The platform's own dialog.
class DialogFileChooser : public FileChooser
{
public:
    QString chooseFile(QWidget* parent, const QString& filter, const QString& folder) override;
    QString chooseSaveFile(QWidget* parent, const QString& name, const QString& filter) override;
    // The dialog chooseFile shows, set up but not shown.
    static std::unique_ptr<QFileDialog> makeDialog(QWidget* parent, const QString& filter,
                                                   const QString& folder = QString());
};

} // namespace vantor::app
