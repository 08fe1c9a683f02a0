#pragma once

#include <QObject>

class QAbstractButton;

namespace vantor::app {

// Enter (Return or the keypad's Enter) on a focused button presses it, as Space does: the convention
// of Windows' own windows, which keyboard users of this program expect. A key held down presses once:
// its repeats are swallowed, so that what the press opens (a confirmation, a dialog) is not answered
// or opened again by the same key. GUI thread only.
class EnterPresses : public QObject
{
public:
    // Watches button; the filter is owned by button and goes with it.
    static void install(QAbstractButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

} // namespace vantor::app
