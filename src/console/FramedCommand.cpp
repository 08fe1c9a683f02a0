#include "console/FramedCommand.h"

#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"

#include <algorithm>

namespace vantor::console {

serial::Result<> FramedCommand::build(std::int16_t id, const std::string& command, std::string* frame)
{
    // What would end the frame early, or is no character of the host link, is refused.
    const bool plain = std::all_of(command.begin(), command.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '*';
    });
    if (command.size() < 2 || !plain)
        return serial::failed(hostlink::ControlText::escapeControls(command) +
                              ": a command is two letters or more (C2, CS, IR, a record's code and data), "
                              "printable ASCII without \"*\"");
    *frame = hostlink::Frame::build(id, command);
    return {};
}

} // namespace vantor::console
