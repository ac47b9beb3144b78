/* Tindrel22 device library: everything the application calls. */
#ifndef TINDREL22_H
#define TINDREL22_H

#include "tindrel22_classes.h"
#include "tindrel22_core.h"

#endif
