// nymib.h
#ifndef NYMIB_H
#define NYMIB_H

#include "nysnmp.h"

#endif // NYMIB_H
