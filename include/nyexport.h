// nyexport.h - what the two shared libraries show to programs.
//
// Both libraries are compiled with hidden visibility: only classes and
// functions marked here are exported, so the library's internals (the BER
// helpers, the table index, ...) can change without touching the ABI.
// NYSOCKET_API marks the socket component (libnysocket), NYSNMP_API
// everything else (libnysnmp).  Templates and inline code in the headers need
// no mark; the explicitly instantiated nymibvar classes carry NYSNMP_API.
#ifndef NYEXPORT_H
#define NYEXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define NYSNMP_API __attribute__((visibility("default")))
#define NYSOCKET_API __attribute__((visibility("default")))
#else
#define NYSNMP_API
#define NYSOCKET_API
#endif

#endif // NYEXPORT_H
