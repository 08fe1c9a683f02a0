#include "app/FileChooser.h"

#include <QFileDialog>

namespace vantor::app {

std::unique_ptr<QFileDialog> DialogFileChooser::makeDialog(QWidget* parent, const QString& filter,
                                                           const QString& folder)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QObject::tr("Select the compiled program"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(filter);
    if (!folder.isEmpty())
        dialog->setDirectory(folder);
#ifndef Q_OS_WIN
    // The extension is written in upper case, but files copied between systems often lose that. Qt's
    // own dialog matches the filter regardless of case and shows its label as given; the native
    // dialogs here would do neither. Windows' own dialog does both.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
#endif
    return dialog;
}

QString DialogFileChooser::chooseFile(QWidget* parent, const QString& filter, const QString& folder)
{
    const auto dialog = makeDialog(parent, filter, folder);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}

QString DialogFileChooser::chooseSaveFile(QWidget* parent, const QString& name, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, QObject::tr("Save the response log"), name, filter);
}

} // namespace vantor::app
