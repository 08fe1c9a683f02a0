#pragma once

#include <QString>

namespace vantor::app {

class UploaderPanel;

// Pictures of the windows for the documentation: the panel as it starts, the console after an
// exchange with the simulated PLC, the confirmation, and the panel after an upload into the
// simulated PLC of the file the panel's chooser returns, after an upload to a missing port, to a PLC
// that answers nothing and over a line lost mid-upload.
class Screenshots
{
public:
    // Returns the program's exit status: 0 when every picture was written. shownFile: the file box's
    // text in the pictures, as given (a path relative to where they are taken names no folder of the
    // machine that took them); the upload reads the same file.
    static int take(UploaderPanel& panel, const QString& directory, const QString& shownFile);
};

} // namespace vantor::app
