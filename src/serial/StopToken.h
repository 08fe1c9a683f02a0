#pragma once

#include <functional>
#include <utility>

namespace vantor::serial {

// Whether the user asked to stop what is running (Ctrl+C, Stop, Esc, closing the window), made once by
// the front end and handed down to everything that waits: the port's opening and writing, the command
// exchange's waits, the reading of a program file, the steps of an upload. Each asks it at its next
// safe point and ends its wait when it answers true; what happens then is each one's own contract.
//
// requested() is asked on the thread that does the waiting; a token is safe on several threads at once
// when its function is (the command line's reads a flag its signal handlers set). The front end's
// function may do work of its own while asked: the desktop program's lets the window's events through,
// so whoever asks must be at a point where that is harmless. A default token never asks to stop.
class StopToken
{
public:
    StopToken() = default;
    explicit StopToken(std::function<bool()> asked) : asked_(std::move(asked)) {}

    bool requested() const { return asked_ && asked_(); }
    // False for a default token, which never asks: its waits need not be cut into slices to ask it.
    bool mayStop() const { return static_cast<bool>(asked_); }

private:
    std::function<bool()> asked_;
};

} // namespace vantor::serial
