// The public vocabulary of results, list kinds and register types (omron_fins_results.h)
// for host code that also uses the FINS codec, which still declares three of the same
// names itself: they are renamed while the public header is read. Drop the renames
// once the codec takes them from the public header.
#ifndef FINS_HOST_DRIVER_RESULTS_H
#define FINS_HOST_DRIVER_RESULTS_H

#define isBitType publicIsBitType
#define isFlagType publicIsFlagType
#define REG_TYPE_COUNT PUBLIC_REG_TYPE_COUNT
#include "omron_fins_results.h"
#undef isBitType
#undef isFlagType
#undef REG_TYPE_COUNT

#endif
