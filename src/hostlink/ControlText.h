#pragma once

#include <string>

namespace vantor::hostlink {

// Makes raw line traffic readable: printable ASCII stays as it is, the protocol's control characters
// become <ENQ>, <CR> and <LF>, anything else <xNN> (two upper-case hex digits), and "<" itself "<<".
class ControlText
{
public:
    static std::string escape(const std::string& bytes);
    // Only the control characters (codes below 32, and 127) in that notation; every other byte, "<"
    // included, stays as it is. For showing a reply where 8-bit text is expected.
    static std::string escapeControls(const std::string& bytes);
};

} // namespace vantor::hostlink
