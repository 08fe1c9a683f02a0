#pragma once

#include <QStyledItemDelegate>

namespace vantor::app {

// Draws a port list's item as its name followed by what the system calls the port (the item's tool
// tip), "COM3  -  USB Serial Port (COM3)", in the opened list only: the box itself shows the name,
// which is what the port is opened by. A port no longer there is greyed and marked "(absent)".
class PortItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace vantor::app
