#include "app/PortList.h"

#include "app/CoreText.h"
#include "app/PortItemDelegate.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QScrollBar>
#include <QSignalBlocker>
#include <map>

namespace vantor::app {

namespace {

// Where a port the system lists goes: before the first registered item, or at the end.
int insertionPoint(const QComboBox* list, int comItems, const serial::PortCatalog& catalog)
{
    for (int i = comItems; i < list->count(); ++i)
        for (const serial::PortCatalog::Registered& entry : catalog.registered())
            if (list->itemText(i).compare(QString::fromStdString(entry.name), Qt::CaseInsensitive) == 0)
                return i;
    return list->count();
}

void describe(QComboBox* list, int index, const QString& description)
{
    list->setItemData(index, description, Qt::ToolTipRole);
    list->setItemData(index, false, PortList::absentRole);
}

} // namespace

void PortList::refresh(QComboBox* list, int comItems, const serial::PortCatalog& catalog)
{
    const QSignalBlocker quiet(list);     // the choice stays what it was, so nothing changes for the user
    std::map<QString, QString> described; // device -> what the system calls it
    for (const serial::PortInfo& info : catalog.listPorts())
        described.emplace(QString::fromStdString(info.device), CoreText::message(info.description));

    for (int i = 0; i < list->count(); ++i) {
        const bool fixed = i < comItems;
        const QString device =
            fixed ? QString::fromStdString(catalog.resolve(list->itemText(i).toStdString()).device)
                  : list->itemText(i);
        if (const auto found = described.find(device); found != described.end()) {
            describe(list, i, found->second);
            list->setItemData(i, true, listedRole);
            described.erase(found);
        } else if (list->itemData(i, listedRole).toBool()) {
            list->setItemData(i, true, absentRole); // its description stays: which adapter it was
        }
    }
    const bool first = list->property("vantorListed").isNull();
    for (const auto& [device, description] : described) { // sorted by device
        const int at = insertionPoint(list, comItems, catalog);
        list->insertItem(at, device);
        describe(list, at, description);
        list->setItemData(at, true, listedRole);
    }
    if (first) {
        list->setProperty("vantorListed", true);
        for (const serial::PortCatalog::Registered& entry : catalog.registered()) {
            list->addItem(QString::fromStdString(entry.name));
            list->setItemData(list->count() - 1, QString::fromStdString(entry.description), Qt::ToolTipRole);
        }
        list->setItemDelegate(new PortItemDelegate(list));
    }
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
