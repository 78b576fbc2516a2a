// vlmmib.h
#ifndef VLMMIB_H
#define VLMMIB_H

#include "nysnmp.h"

#endif // VLMMIB_H
