// relaymib.h
#ifndef RELAYMIB_H
#define RELAYMIB_H

#include "nysnmp.h"

#endif // RELAYMIB_H
