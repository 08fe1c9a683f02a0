#include "app/PortItemDelegate.h"

#include "app/PortList.h"

namespace vantor::app {

void PortItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QString description = index.data(Qt::ToolTipRole).toString();
    if (!description.isEmpty() && description != option->text)
        option->text += QStringLiteral("  \u2013  ") + description;
    if (index.data(PortList::absentRole).toBool()) {
        option->text += QStringLiteral("  (absent)");
        option->palette.setBrush(QPalette::Text, option->palette.brush(QPalette::Disabled, QPalette::Text));
    }
}

} // namespace vantor::app
