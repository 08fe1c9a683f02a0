#pragma once

#include <QStringList>

namespace vantor::cli {

// vantor plc-sim [options]: serves a simulated PLC on a pseudo-terminal until stopped.
class PlcSimCommand
{
public:
    static int run(const QStringList& arguments);
};

} // namespace vantor::cli
