// Internal: texts of the socket component's errors.
#ifndef NYSOCKET_SRC_MESSAGES_H
#define NYSOCKET_SRC_MESSAGES_H

#include <string>

// The default text of `id` with %1 replaced by `where` and %2 by `detail`.
std::string NySocketFormat(int id, const char* where, const std::string& detail);

// The system's text for an errno value ("" for 0).
std::string NySocketSystemText(int native);

#endif
