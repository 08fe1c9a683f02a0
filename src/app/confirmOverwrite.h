#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vantor::app {

// "Confirmation": asks before an upload overwrites the PLC's program. Modeless; Yes and No hide it.
// Neither button answers Enter or Escape by itself: only a click (or Space on the focused button)
// decides, so a key held down from typing cannot start an upload.
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

private:
    // The question and the target line under it; then Yes and No, which take no default role.
    void buildTexts();
    void buildButtons();
    void layOutControls();

    QLabel* Label1;
    QLabel* target_;
    QPushButton* yesButton;
    QPushButton* NoButton;
};

} // namespace vantor::app
