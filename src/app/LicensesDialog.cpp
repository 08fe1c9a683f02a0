#include "app/LicensesDialog.h"

#include "notices/ThirdParty.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vantor::app {

namespace {

QTreeWidget* componentList(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setHeaderLabels({"Component", "Version", "Licence", "In the program"});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    for (const auto& c : notices::ThirdParty::components("vantor-uploader"))
        list->addTopLevelItem(new QTreeWidgetItem(
            {c.name, c.version, c.licence, c.dependency ? "used from the system" : "contained"}));
    for (int column = 0; column < list->columnCount(); ++column)
        list->resizeColumnToContents(column);
    return list;
}

// The dialog's first width: every column of LIST whole (the licence expressions are long), but not
// wider than the screen the dialog opens on, nor narrower than a comfortable reading width.
int fittingWidth(const QTreeWidget* list, const QWidget* dialog)
{
    const QMargins margins = dialog->layout()->contentsMargins();
    const int wanted = list->header()->length() + 2 * list->frameWidth() +
                       list->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right();
    const QScreen* screen = dialog->screen();
    const int room = screen ? screen->availableGeometry().width() * 9 / 10 : wanted;
    return std::min(std::max(wanted, 760), room);
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
    QTreeWidget* list = componentList(this);
    layout->addWidget(list, 1);
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
    resize(fittingWidth(list, this), 560);
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
