#pragma once

#include <QElapsedTimer>

namespace vantor::app {

// Lets the window system's events through during a wait that blocks the window's thread (an upload,
// a console exchange): repaints, the window manager's pings, a close request. The user's input is
// dropped meanwhile by an InputBlocker. GUI thread only.
class EventPump
{
public:
    // How often, in ms: at a human rate for what the window shows (a repaint in between is not seen
    // as progress), often enough for the window manager and for Esc and Stop to be felt at once,
    // rarely enough to cost nothing against the exchanges.
    static constexpr qint64 sliceMs = 50;

    // A wait begins: the first events go through one slice from now.
    void start() { since_.start(); }
    // Whether a slice has passed since start() or the last time the events went through.
    bool due();
    // Lets the events through when due(), painting what changed since the last time.
    void pump();

private:
    QElapsedTimer since_;
};

} // namespace vantor::app
