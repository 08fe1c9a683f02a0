#pragma once

#include "serial/PortCatalog.h"

#include <QComboBox>

namespace vantor::app {

// A port list that lists the system's ports afresh each time it is opened (see PortList), so that an
// adapter plugged in after start-up can be chosen and one pulled out is marked absent.
class PortChoiceBox : public QComboBox
{
    Q_OBJECT

public:
    // comItems: how many fixed "COMn" items the list starts with. catalog must outlive the box.
    PortChoiceBox(QWidget* parent, int comItems, const serial::PortCatalog& catalog);

    void showPopup() override;

    // Selects the item named name (any case), adding it at the end when there is none; returns its
    // index. Works on a disabled list too.
    int choose(const QString& name);

private:
    int comItems_;
    const serial::PortCatalog& catalog_;
};

} // namespace vantor::app
