#include "app/PortList.h"

#include "app/CoreText.h"
#include "app/PortItemDelegate.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QScrollBar>
#include <map>

namespace vantor::app {

void PortList::addPorts(QComboBox* list, int comItems, const serial::PortCatalog& catalog)
{
    std::map<QString, QString> described; // device -> what the system calls it
    for (const serial::PortInfo& info : serial::PortCatalog::systemPorts())
        described.emplace(QString::fromStdString(info.device), CoreText::message(info.description));

    for (int i = 0; i < comItems && i < list->count(); ++i) {
        const auto device = QString::fromStdString(catalog.resolve(list->itemText(i).toStdString()).device);
        if (const auto found = described.find(device); found != described.end()) {
            list->setItemData(i, found->second, Qt::ToolTipRole);
            described.erase(found);
        }
    }
    for (const auto& [device, description] : described) { // sorted by device
        list->addItem(device);
        list->setItemData(list->count() - 1, description, Qt::ToolTipRole);
    }
    for (const serial::PortCatalog::Registered& entry : catalog.registered()) {
        list->addItem(QString::fromStdString(entry.name));
        list->setItemData(list->count() - 1, QString::fromStdString(entry.description), Qt::ToolTipRole);
    }
    list->setItemDelegate(new PortItemDelegate(list));
    // The opened list may be wider than the box, so that the descriptions are read in full.
    QAbstractItemView* view = list->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width());
}

bool PortList::isPortName(const QString& name, const serial::PortCatalog& catalog)
{
    if (name.isEmpty())
        return false;
    if (catalog.isKnownName(name.toStdString()))
        return true;
    return QFileInfo(name).isAbsolute() && QFileInfo::exists(name);
}

} // namespace vantor::app
