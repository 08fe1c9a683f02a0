#include "app/PortChoiceBox.h"

#include "app/PortList.h"

namespace vantor::app {

PortChoiceBox::PortChoiceBox(QWidget* parent, int comItems, const serial::PortCatalog& catalog)
    : QComboBox(parent), comItems_(comItems), catalog_(catalog)
{
    setEditable(true);
    // A name typed into the box becomes an item only once it is known to name a port (the window
    // decides); the selected item is what the port opens from.
    setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= comItems; ++n)
        addItem(QString("COM%1").arg(n));
}

int PortChoiceBox::choose(const QString& name)
{
    int index = findText(name, Qt::MatchFixedString);
    if (index < 0) {
        addItem(name);
        index = count() - 1;
    }
    setCurrentIndex(index);
    return index;
}

void PortChoiceBox::showPopup()
{
    PortList::refresh(this, comItems_, catalog_);
    QComboBox::showPopup();
}

} // namespace vantor::app
