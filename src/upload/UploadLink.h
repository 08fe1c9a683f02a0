#pragma once

#include "hostlink/CommandExchange.h"

#include <functional>
#include <string>

namespace vantor::upload {

// The line the upload talks over: the console's command exchange, and a way to ask why the port
// failed, so the caption can name the port and the cause. The exchange's stop token is the upload's:
// asked before every step, during every wait and while the file is read, it stops the upload at the
// next safe point (Interrupted).
struct UploadLink
{
    hostlink::CommandExchange& exchange;
    // The sentence the port layer gave for the last failure ("Cannot open COM 2 ...", "Lost the
    // connection to ..."); may be empty.
    std::function<std::string()> portProblem;
};

} // namespace vantor::upload
