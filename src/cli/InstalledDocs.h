#pragma once

#include <string>

namespace vantor::cli {

// Where the help texts send the reader: the man page on POSIX systems, and on Windows, which has no
// man, the HTML manual the setup program installs in the manual folder beside vantor.exe. Every
// "See vantor(1)" of the command line comes from here, so the two platforms cannot drift apart.
class InstalledDocs
{
public:
    // "vantor(1)" on POSIX; on Windows "the manual: FOLDER\manual\vantor.html", FOLDER being the
    // running program's (UTF-8). For "(see ...)" inside a sentence.
    static std::string manual();
    // The sentence that ends a help text: "See vantor(1)." on POSIX, "See the manual: PATH" on Windows
    // (no full stop after a path that could be copied).
    static std::string seeManual();
    // THIRD-PARTY-NOTICES.txt as installed: beside the program on Windows; on POSIX in the
    // documentation folder of the prefix whose bin folder the running program lies in (the package's,
    // not necessarily the one the build was configured with), else where the build was configured
    // to install it.
    static std::string noticesFile();
    // "The licences in full: PATH", or, when PATH cannot be read, is empty or is not a regular file
    // (checked now, which reads a byte of it and never blocks), a sentence saying so and why, and what
    // to do.
    static std::string noticesLine();

private:
    // Why PATH cannot serve as the notices ("a folder", "not a regular file", "empty", or the system's
    // error); empty when it is a regular file with at least one byte. Never blocks: a FIFO or device
    // in its place is refused without being read.
    static std::string unreadable(const std::string& path);
    // The running program's folder, with a trailing separator; empty when it cannot be found.
    static std::string programFolder();
};

} // namespace vantor::cli
