// nysmuxpeer.h
#ifndef NYSMUXPEER_H
#define NYSMUXPEER_H

#include "nysnmp.h"

#endif // NYSMUXPEER_H
