// Messages on stderr.  One fprintf per line: stdio locks the stream, so the
// lines of the two threads do not mix.
#include "log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace relay {

void Log(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    char stamp[32] = "";
    const time_t now = std::time(nullptr);
    tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(stderr, "%s relay-peer: %s\n", stamp, text);
}

} // namespace relay
