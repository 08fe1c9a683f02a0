#pragma once

namespace vantor::app {

// Where --help and --version go. A Windows program with windows gets no console of its own, so text
// it prints from a command prompt would vanish and Qt shows it in a message box instead; scripts and
// tests cannot read that. Started from a console (or with its output redirected), the program writes
// there, as on other systems; double-clicked, it keeps the message box.
class ConsoleOutput
{
public:
    // Connects standard output and standard error to the parent's console when they lead nowhere and
    // the parent has one. Returns whether standard output now leads somewhere. Call before printing,
    // at most once; elsewhere than on Windows it only returns true.
    static bool reachParentConsole();
};

} // namespace vantor::app
