#include "app/PortList.h"

#include "app/CoreText.h"
#include "app/PortItemDelegate.h"
#include "console/PortName.h"

#include "serial/NetworkAddress.h"
#include "serial/PortLister.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QScrollBar>
#include <map>

namespace vantor::app {

void PortList::addPorts(QComboBox* list, int comItems)
{
    std::map<QString, QString> described; // device -> what the system calls it
    for (const serial::PortInfo& info : serial::PortLister().ports())
        described.emplace(QString::fromStdString(info.device), CoreText::message(info.description));

    for (int i = 0; i < comItems && i < list->count(); ++i) {
        const auto device =
            QString::fromStdString(console::PortName::devicePath(list->itemText(i).toStdString()));
        if (const auto found = described.find(device); found != described.end()) {
            list->setItemData(i, found->second, Qt::ToolTipRole);
            described.erase(found);
        }
    }
    for (const auto& [device, description] : described) { // sorted by device
        list->addItem(device);
        list->setItemData(list->count() - 1, description, Qt::ToolTipRole);
    }
    list->addItem(console::PortName::simulated);
    list->setItemData(list->count() - 1, "built-in simulated PLC", Qt::ToolTipRole);
    list->setItemDelegate(new PortItemDelegate(list));
    // The opened list may be wider than the box, so that the descriptions are read in full.
    QAbstractItemView* view = list->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width());
}

bool PortList::isPortName(const QString& name)
{
    const std::string text = name.toStdString();
    if (name.isEmpty())
        return false;
    if (console::PortName::isSimulated(text) || console::PortName::comNumber(text) ||
        serial::NetworkAddress::parse(text))
        return true;
    return QFileInfo(name).isAbsolute() && QFileInfo::exists(name);
}

} // namespace vantor::app
