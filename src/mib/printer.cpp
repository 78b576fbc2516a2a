// Writing the tree out as MIB module text.
#include "nymib.h"

// Placeholders until the module printer fills them in.
int NyMibObject::Print(FILE*) { return 0; }

int NyMibObject::PrintSyntaxName(FILE*, bool) { return 0; }

int NyMibObject::PrintAsIdentifier(FILE*) { return 0; }

int NyMibSequence::Print(FILE*) { return 0; }

int NyMibTable::Print(FILE*) { return 0; }

int NyMibTrap::Print(FILE*) { return 0; }
