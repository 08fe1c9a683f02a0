#include "app/PortItemDelegate.h"

namespace vantor::app {

void PortItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QString description = index.data(Qt::ToolTipRole).toString();
    if (!description.isEmpty() && description != option->text)
        option->text += QStringLiteral("  \u2013  ") + description;
}

} // namespace vantor::app
