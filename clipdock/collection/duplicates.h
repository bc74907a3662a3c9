/* Folding a new item into an equal stored one. */
#ifndef CLIPDOCK_COLLECTION_DUPLICATES_H
#define CLIPDOCK_COLLECTION_DUPLICATES_H

void FindDuplicateItem();

#endif
