#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace vantor::bench {

// Writes a compiled program of records distinct records ("03:" + 6 hex digits each) to a new file
// under /tmp and returns its path; empty when it cannot. The caller removes it.
inline std::string makeProgram(int records)
{
    char name[] = "/tmp/vantor-bench-XXXXXX";
    const int fd = ::mkstemp(name);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f)
        return {};
    std::fputs("Vantor Compiled Code\r\n", f);
    for (int i = 0; i < records; ++i)
        std::fprintf(f, "03:%04X%02X\r\n", i & 0xFFFF, i & 0xFF);
    std::fclose(f);
    return name;
}

} // namespace vantor::bench
