#pragma once

#include <string>

namespace vantor::console {

// One thing a terminal session has to show, in the order it happened. What it is decides the stream:
// Reply, NoReply and Unasked are the line's traffic (standard output), the rest the port's news.
struct TermEvent
{
    enum class Kind {
        Opened,      // text: the opening line, "COM1: Open at 38400,N,8,1"
        Warning,     // text: a setting the device did not take, as a sentence
        Problem,     // text: the port could not be opened, as a sentence
        Sent,        // text: the command as it went onto the line, without its CR
        Reply,       // text: the response line, without its line end
        NoReply,     // nothing ended a line in time (or the ENQ handshake got no answer); text empty
        Unasked,     // text: what arrived between commands, one line of it without its line end
        Interrupted, // a stop request ended the wait for the reply; text empty
        NotSent,     // text: why the typed line was not sent (the port is away, a bad frame)
        Lost,        // text: the sentence of the lost port; the session waits for it to come back
        Back,        // text: the port's name; it is open again (an Opened event follows)
        Control,     // text: a port control done by hand, "DTR off", "break sent")
    };

    Kind kind;
    std::string text;
};

} // namespace vantor::console
