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
    // THIRD-PARTY-NOTICES.txt as installed: under the documentation folder on POSIX, beside the
    // program on Windows.
    static std::string noticesFile();

private:
    static std::string programFolder(); // with a trailing separator; empty outside Windows
};

} // namespace vantor::cli
