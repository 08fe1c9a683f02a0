#include "app/FileChooser.h"

#include <QFileDialog>

namespace vantor::app {

QString DialogFileChooser::chooseFile(QWidget* parent, const QString& filter)
{
    // The extension of compiled programs is written in upper case, but files copied between systems
    // often lose that; list both.
    QString both = filter;
    both.replace("(*.VQC)", "(*.VQC *.vqc)");
    return QFileDialog::getOpenFileName(parent, QObject::tr("Select the compiled program"), QString(), both);
}

} // namespace vantor::app
