#include "app/LicensesDialog.h"

#include "notices/ThirdParty.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor::app {

namespace {

QTreeWidget* componentList(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setHeaderLabels({"Component", "Version", "Licence", ""});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    for (const auto& c : notices::ThirdParty::components("vantor-uploader"))
        list->addTopLevelItem(new QTreeWidgetItem(
            {c.name, c.version, c.licence, c.dependency ? "used from the system" : "contained"}));
    for (int column = 0; column < list->columnCount(); ++column)
        list->resizeColumnToContents(column);
    return list;
}

} // namespace

LicensesDialog::LicensesDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Licences - Vantor Program Uploader");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString("Vantor Program Uploader %1 is free software under the MIT licence. "
                                         "It holds these works of others:")
                                     .arg(VANTOR_VERSION),
                                 this));
    layout->addWidget(componentList(this), 1);
    auto* text =
        new QPlainTextEdit(QString::fromStdString(notices::ThirdParty::notices("vantor-uploader")), this);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap); // the texts come with their own line breaks
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setAccessibleName("Third-party notices");
    layout->addWidget(text, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 560);
}

void LicensesDialog::showFor(QWidget* parent)
{
    static QPointer<LicensesDialog> open;
    if (!open) {
        open = new LicensesDialog(parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    open->show();
    open->raise();
    open->activateWindow();
}

} // namespace vantor::app
