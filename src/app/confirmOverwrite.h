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

signals:
    void confirmed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* Label1;
    QPushButton* yesButton;
    QPushButton* NoButton;
};

} // namespace vantor::app
