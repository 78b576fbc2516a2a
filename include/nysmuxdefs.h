// nysmuxdefs.h
#ifndef NYSMUXDEFS_H
#define NYSMUXDEFS_H

#include "nysnmp.h"

#endif // NYSMUXDEFS_H
