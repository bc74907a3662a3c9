/* Folding a new item into an equal stored one. */
#ifndef CLIPDOCK_COLLECTION_DUPLICATES_H
#define CLIPDOCK_COLLECTION_DUPLICATES_H

#include "collection/slots.h"

// Compares the new item in slot 0 with slots 1..31 and last with held (the
// entry this capture pushed out of the history, or NULL); the first equal
// one becomes current and the new item is dropped.
void FindDuplicateItem(ItemSlot *held);

#endif
