#include "app/confirmOverwrite.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::app {

confirmOverwrite::confirmOverwrite(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("confirmOverwrite");
    setWindowTitle("Confirmation");
    setAutoFillBackground(true);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 128));
    yellow.setColor(QPalette::WindowText, Qt::black);
    setPalette(yellow);
    buildTexts();
    buildButtons();
    layOutControls();
    connect(yesButton, &QPushButton::clicked, this, [this] {
        hide();
        emit confirmed();
    });
    connect(NoButton, &QPushButton::clicked, this, [this] {
        hide();
        emit declined();
    });
}

void confirmOverwrite::buildTexts()
{
    Label1 = new QLabel("Are you sure you want to overwrite the existing PLC Program?", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    target_ = new QLabel(this);
    target_->setObjectName("target");
    target_->setAlignment(Qt::AlignCenter);
    target_->setWordWrap(true);
    target_->setTextFormat(Qt::PlainText);
}

void confirmOverwrite::buildButtons()
{
    yesButton = new QPushButton("Yes", this);
    yesButton->setObjectName("yesButton");
    NoButton = new QPushButton("No", this);
    NoButton->setObjectName("NoButton");
    for (QPushButton* button : {yesButton, NoButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setMinimumWidth(90);
        button->setAutoFillBackground(false);
        button->setPalette(QPalette());
        button->installEventFilter(this);
    }
}

void confirmOverwrite::layOutControls()
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yesButton);
    buttons->addSpacing(30);
    buttons->addWidget(NoButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->addWidget(Label1);
    layout->addSpacing(6);
    layout->addWidget(target_);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    setFixedWidth(380);
}

void confirmOverwrite::setTarget(const QString& line)
{
    target_->setText(line);
    setFixedHeight(sizeHint().height());
}

void confirmOverwrite::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // As if reached with Tab: the style then draws the focus frame, so the user sees which button
    // Space would press.
    setAttribute(Qt::WA_KeyboardFocusChange);
    yesButton->setFocus(Qt::TabFocusReason);
    enterPressedOn_ = nullptr;
}

void confirmOverwrite::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    enterPressedOn_ = nullptr;
}

bool confirmOverwrite::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusOut)
        enterPressedOn_ = nullptr;
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    // A repeat, or a release whose press this button did not see, is a key held from before: dropped.
    const bool fresh = !key->isAutoRepeat();
    if (type == QEvent::KeyPress && fresh)
        enterPressedOn_ = watched;
    else if (type == QEvent::KeyRelease && fresh && enterPressedOn_ == watched) {
        enterPressedOn_ = nullptr;
        static_cast<QPushButton*>(watched)->click();
    }
    return true;
}

} // namespace vantor::app
