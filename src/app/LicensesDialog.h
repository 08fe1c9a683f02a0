#pragma once

#include <QDialog>

namespace vantor::app {

// What the desktop program holds of others' work: each component with its version and licence, and
// below them the full notices, every licence text included. Opened with F1 from any of the program's
// windows, so that the panel's layout stays as it is. Lives on the GUI thread.
class LicensesDialog : public QDialog
{
public:
    explicit LicensesDialog(QWidget* parent = nullptr);

    // Opens the one dialog of the application (raising it when it is open already) over PARENT.
    static void showFor(QWidget* parent);
};

} // namespace vantor::app
