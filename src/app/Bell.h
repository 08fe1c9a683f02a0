#pragma once

#include <functional>

namespace vantor::app {

// The beep of the windows. Tests swap the sound for a counter.
class Bell
{
public:
    static void ring();
    // Replaces the sound; an empty function restores the system beep.
    static void setHandler(std::function<void()> handler);
};

} // namespace vantor::app
