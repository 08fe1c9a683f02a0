#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace vantor::app {

// While one lives, the user's input to every window of the program is dropped: clicks, keys, the wheel,
// touch, drops. Everything else passes: repaints, the window manager's pings and close requests. An
// upload lets events through with this in place, so the windows stay alive without any handler
// running in the middle of it. Dropped rather than held back, so that a click made during an upload
// cannot act after it. Main thread only.
//
// Qt's own ExcludeUserInputEvents is not enough: its X11 backend holds back the window manager's close
// request (WM_DELETE_WINDOW) with the user's input, until some later input arrives.
//
// Two ways out stay open: clicks on the stop button, when there is one, and Esc, which calls onEscape.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget* stopButton = nullptr, std::function<void()> onEscape = {});
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool letThrough(QObject* watched, QEvent* event) const;

    QWidget* stopButton_;
    std::function<void()> onEscape_;
};

} // namespace vantor::app
