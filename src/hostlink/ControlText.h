#pragma once

#include <string>

namespace vantor::hostlink {

// Makes raw line traffic readable: printable ASCII stays as it is, the protocol's control characters
// become <ENQ>, <CR> and <LF>, anything else <xNN> (two upper-case hex digits), and "<" itself "<<".
class ControlText
{
public:
    static std::string escape(const std::string& bytes);
};

} // namespace vantor::hostlink
