// log.h - relay-peer's messages on stderr, one line each, with the time.
#ifndef RELAY_PEER_LOG_H
#define RELAY_PEER_LOG_H

namespace relay {

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace relay

#endif
