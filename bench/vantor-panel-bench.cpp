// vantor-panel-bench: the desktop program's upload against the command line's, on a paced line.
//   vantor-panel-bench [N [RUNS]]   uploads an N-record file (default 500) RUNS times (default 3) by
//                                   each front end at 9600, 38400 and 115200 baud, and prints each
//                                   one's median and the ratio desktop / command line.
// The PLC is the simulated one on a pseudo-terminal, in a child process, holding each answer for the
// wire time of the frame and of the answer at the baud rate (10 bits a byte), as a real line would:
// a pseudo-terminal itself carries bytes at once, which would hide what the wire waits for.
// Each front end's time is its own: the "seconds" of its record line (vantor upload --record, and
// UploaderPanel::keepRecord), so both are timed by the same code from the link test to the end.
// The command line is the vantor built beside this program (VANTOR=PATH for another). The panel runs
// without a display (offscreen) unless QT_QPA_PLATFORM says otherwise. Run it alone: another build on
// the machine moves the figures more than the difference measured.
#include "BenchProgram.h"
#include "app/UploaderPanel.h"
#include "app/serialComm.h"
#include "plcsim/SimulatedPlc.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vantor;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int bauds[] = {9600, 38400, 115200};

// How long bytes take on the wire at baud: a start bit, 8 data bits and a stop bit each.
Clock::duration wireTime(std::size_t bytes, int baud)
{
    return std::chrono::microseconds(static_cast<long long>(bytes) * 10 * 1000000 / baud);
}

// The PLC's side of the line: what the host wrote goes to the simulated PLC as it comes; each of its
// answers goes out once the frame and the answer would have crossed the wire, counted from the
// frame's first byte. Runs until killed.
[[noreturn]] void servePaced(int master, int baud)
{
    plcsim::SimulatedPlc plc;
    std::size_t heard = 0; // bytes received since the last answer
    Clock::time_point firstByte;
    char buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, -1) <= 0)
            continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) { // EIO while no client has the device open
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (heard == 0)
            firstByte = Clock::now();
        heard += static_cast<std::size_t>(n);
        for (const plcsim::PlcAction& action :
             plc.receive(std::string(buffer, static_cast<std::size_t>(n)))) {
            if (action.kind != plcsim::PlcAction::Kind::Write)
                continue;
            std::this_thread::sleep_until(firstByte + wireTime(heard + action.bytes.size(), baud) +
                                          std::chrono::milliseconds(action.delayMs));
            [[maybe_unused]] auto w = ::write(master, action.bytes.data(), action.bytes.size());
            heard = 0;
        }
    }
}

// Starts the paced PLC for baud in a child process (which dies with this one); its device's path,
// empty when it cannot. Before any thread starts: the child goes on with a copy of this process.
std::string startPacedPlc(int baud, pid_t* child)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return {};
    const std::string name = ::ptsname(master);
    const int slave = ::open(name.c_str(), O_RDWR | O_NOCTTY);
    // Raw on both sides: no echo of the host's bytes, no CR to LF translation.
    termios tio{};
    for (const int fd : {master, slave}) {
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    *child = ::fork();
    if (*child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        servePaced(master, baud); // the slave stays open here too, so clients may come and go
    }
    ::close(master);
    ::close(slave);
    return *child > 0 ? name : std::string();
}

// The "seconds" of the last line of the record file at path, when that upload was saved; else -1.
double savedSeconds(const std::string& path)
{
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        last = line;
    const auto result = nlohmann::json::parse(last, nullptr, false);
    if (result.is_discarded() || result.value("outcome", "") != "saved")
        return -1;
    return result.value("seconds", -1.0);
}

double byCommandLine(const QString& vantor, const std::string& device, int baud, const std::string& program,
                     const std::string& record)
{
    QProcess upload;
    upload.setStandardOutputFile(QProcess::nullDevice());
    upload.setStandardErrorFile(QProcess::nullDevice());
    upload.start(vantor, {"upload", "-p", QString::fromStdString(device), "-b", QString::number(baud),
                          "--record", QString::fromStdString(record), QString::fromStdString(program)});
    if (!upload.waitForFinished(-1) || upload.exitCode() != 0)
        return -1;
    return savedSeconds(record);
}

double byPanel(const std::string& device, int baud, const std::string& program, const std::string& record)
{
    app::UploaderPanel panel(nullptr, QString::fromStdString(device));
    auto* baudChoice = panel.console().findChild<QComboBox*>("baudChoice");
    baudChoice->setCurrentIndex(baudChoice->findText(QString::number(baud)));
    std::string error;
    if (!panel.keepRecord(record, &error))
        return -1;
    panel.show();
    QApplication::processEvents();
    panel.selectFile(QString::fromStdString(program));
    panel.UploadProgram();
    return savedSeconds(record);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct PacedLine
{
    int baud = 0;
    pid_t child = 0;
    std::string device;
};

// Both front ends in turn, runs times each, on line; false when an upload failed.
bool compare(const QString& vantor, const PacedLine& line, int runs, const std::string& program)
{
    const std::string record = program + ".record";
    std::vector<double> cli, panel;
    for (int run = 0; run < runs; ++run) {
        cli.push_back(byCommandLine(vantor, line.device, line.baud, program, record));
        panel.push_back(byPanel(line.device, line.baud, program, record));
    }
    std::remove(record.c_str());
    const bool ok = std::min(*std::min_element(cli.begin(), cli.end()),
                             *std::min_element(panel.begin(), panel.end())) > 0;
    std::printf("%6d baud: command line %.3f s, desktop %.3f s (medians of %d), ratio %.3f%s\n", line.baud,
                median(cli), median(panel), runs, median(panel) / median(cli),
                ok ? "" : " (an upload failed)");
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 500;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (records < 1 || runs < 1) {
        std::fprintf(stderr, "usage: vantor-panel-bench [N [RUNS]]\n");
        return 2;
    }
    // The PLCs' processes are forked before Qt starts threads of its own.
    std::vector<PacedLine> lines;
    for (const int baud : bauds) {
        PacedLine line{baud, 0, {}};
        line.device = startPacedPlc(baud, &line.child);
        if (line.device.empty()) {
            std::fprintf(stderr, "vantor-panel-bench: cannot start the paced PLC\n");
            return 1;
        }
        lines.push_back(line);
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The platform's remarks (the offscreen one has many) would bury the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    const QString vantor = qEnvironmentVariableIsSet("VANTOR") ? qEnvironmentVariable("VANTOR") : VANTOR_CLI;
    const std::string program = bench::makeProgram(records);
    std::printf("%d records, each front end %d times at each baud rate (its record line's seconds)\n",
                records, runs);
    bool ok = true;
    for (const PacedLine& line : lines) {
        ok = compare(vantor, line, runs, program) && ok;
        ::kill(line.child, SIGKILL);
        ::waitpid(line.child, nullptr, 0);
    }
    std::remove(program.c_str());
    return ok ? 0 : 1;
}
