// vantor-log-bench: what the console's response log costs per entry, at its start and after N entries.
//   vantor-log-bench [N]   N commands typed into the console window (default 10000), each answered by the
//                          simulated PLC in-process, so nearly all the time is the log's.
// Runs without a display (offscreen) unless QT_QPA_PLATFORM says otherwise.
#include "app/serialComm.h"
#include "plcsim/SimulatedPlcPort.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (count < 2000) {
        std::fprintf(stderr, "N must be 2000 or more\n");
        return 2;
    }

    vantor::app::serialComm console;
    // The in-process simulated PLC, so nearly all the time is the log's.
    auto simulator = std::make_shared<vantor::plcsim::SimulatedPlcPort>(true);
    console.core().catalog().add("SIM", "", [simulator] { return simulator; });
    console.selectPort("SIM");
    console.show();
    auto* box = console.findChild<QLineEdit*>("commandString");
    box->setText("@01C230*");

    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const auto start = Clock::now();
    Clock::time_point firstThousand, lastThousandStart;
    for (int i = 0; i < count; ++i) {
        if (i == count - 1000)
            lastThousandStart = Clock::now();
        emit box->returnPressed();
        if (i == 999)
            firstThousand = Clock::now();
    }
    const auto end = Clock::now();
    app.processEvents(); // and one repaint of the whole log

    const int lines = console.findChild<QPlainTextEdit*>("responseBox")->blockCount() - 1;
    std::printf(
        "%d entries in %.1f ms: the first 1000 took %.1f ms, the last 1000 %.1f ms (%d lines logged)\n",
        count, ms(end - start), ms(firstThousand - start), ms(end - lastThousandStart), lines);
    return lines == count + 1 ? 0 : 1; // the opening line and one reply per command
}
