#pragma once

#include <QString>
#include <string>

namespace vantor::app {

// Text between the windows and the plain C++ layers, which speak in bytes. File names go down in the
// form the program file reader opens (UTF-8 on Windows, so that any name a user can pick works, not
// only those of the ANSI code page; the file system's own encoding elsewhere). Messages come up as
// UTF-8 when they are (file names inside them included), and in the system's 8-bit encoding
// otherwise (a system error text of a localised Windows).
class CoreText
{
public:
    static std::string path(const QString& fileName);
    static QString message(const std::string& text);
};

} // namespace vantor::app
