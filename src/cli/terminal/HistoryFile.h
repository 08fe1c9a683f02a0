#pragma once

#include "serial/Result.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vantor::cli {

// The lines typed at `vantor term` on one port, kept between sessions in the user's state folder
// ($XDG_STATE_HOME, else ~/.local/state: vantor/term-history/NAME, NAME the port's name with every
// character but letters, digits, "-" and "_" written as %XX). One line per command, oldest first.
// What a port's PLC was told may be private, and the folder may be shared: the folders are made 0700
// and the file 0600; a symbolic link under the file's name, anything but a regular file, a file with
// a second name or one that another user owns is refused. POSIX only: on Windows the console keeps
// the session's lines itself.
class HistoryFile
{
public:
    // At most this many lines are read back; a file grown to twice as many is cut back on opening.
    static constexpr std::size_t maxLines = 500;

    // Where the port's history lies; empty when neither XDG_STATE_HOME nor HOME says where.
    static std::string pathFor(const std::string& portName);
    // portName as it is written in the file's name.
    static std::string safeName(const std::string& portName);

    HistoryFile() = default;
    ~HistoryFile();
    HistoryFile(const HistoryFile&) = delete;
    HistoryFile& operator=(const HistoryFile&) = delete;

    // Opens (making the folders and the file when missing) and reads the lines there into lines, the
    // newest maxLines. A failure says why, in words that may follow "cannot keep the history in PATH: ".
    serial::Result<> open(const std::string& path, std::vector<std::string>* lines);
    // Appends one line (one without a line feed), written at once; nothing when the file is not open
    // or the line is empty. A failed write closes the file, and the failure says why as open()'s does.
    serial::Result<> append(const std::string& line);

private:
    serial::Result<> checked(int fd) const;
    void cutBack(const std::string& path, const std::vector<std::string>& lines);

    int fd_ = -1;
};

} // namespace vantor::cli
