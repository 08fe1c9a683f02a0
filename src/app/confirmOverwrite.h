#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vantor::app {

// "Confirmation": asks before an upload overwrites the PLC's program. Modeless; Yes and No hide it.
// Neither button answers Enter or Escape by itself: a click, or Space or Enter on the focused button,
// decides. Enter counts only when its press began while the dialog was shown, on that button, and it
// answers on the key's release, never on an auto-repeat: an Enter held down from the key that pressed
// UPLOAD NOW! (or from typing) cannot answer the question unread. Escape answers nothing.
class confirmOverwrite : public QWidget
{
    Q_OBJECT

public:
    explicit confirmOverwrite(QWidget* parent = nullptr);

    // The line under the question that says what is about to happen, e.g.
    // "conveyor.VQC: 13 records to PLC 01 on COM2".
    void setTarget(const QString& line);

signals:
    void confirmed();
    void declined();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The question and the target line under it; then Yes and No, which take no default role.
    void buildTexts();
    void buildButtons();
    void layOutControls();

    QLabel* Label1;
    QLabel* target_;
    QPushButton* yesButton;
    QPushButton* NoButton;
    QObject* enterPressedOn_ = nullptr; // the button an Enter's press began on since showing
};

} // namespace vantor::app
