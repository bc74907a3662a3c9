/*
 * The slot table: 32 stored items, slot 0 the incoming one, 1..31 the history
 * (newest first), and the collection state string that keeps their order in
 * the settings file.
 */
#ifndef CLIPDOCK_COLLECTION_SLOTS_H
#define CLIPDOCK_COLLECTION_SLOTS_H

#include <windows.h>
#include <stdio.h>

#define SLOT_COUNT 32
#define SLOT_OCCUPIED 0x80000000u
#define SLOT_CURRENT 0x40000000u

struct ItemSlot {
    DWORD flags;      // 0 = free
    char name[264];   // "\name.crx" relative to the item folder; kept when freed
};

// The most records of one item file that any reader looks at: a clipboard
// offers a few dozen formats. A file that counts more is unreadable to
// restore, previews and duplicate detection, and capture stores no more.
#define ITEM_RECORD_LIMIT 64

extern ItemSlot itemSlots[SLOT_COUNT];  // zero-filled at start; changed only through the operations below

int CountFreeSlots();
int FindCurrentSlot();
// The occupied slot that holds the item file name, or -1.
int FindItemSlot(const char *name);
// The current mark on slot, or on no slot when it is -1.
void MarkCurrent(int slot);
// Writes the item-folder path into folder (MAX_PATH bytes); false when unusable.
bool EnsureItemFolder(char *folder);
FILE *BeginNewItem();
// Ends the capture that BeginNewItem started: with a new item kept in slot 0
// the entry pushed out of slot 31 is deleted; otherwise (a duplicate, a
// dropped or failed item) it comes back and nothing is lost.
void FinishNewItem();
// The entry BeginNewItem pushed out of slot 31 while a capture runs, its file
// still on disk, until FinishNewItem settles it; NULL when none is held.
// Duplicate detection compares it last and may mark it current.
ItemSlot *HeldOutItem();
void VacateIncomingSlot();
void PromoteCurrentItem();
void DropIncomingItem();
FILE *OpenSlotItemFile(int slot);
FILE *OpenStoredItem(const ItemSlot &slot);  // the same, for an entry outside the table
void ClearCollection();
void SaveCollectionState();
void LoadCollectionState(const char *state);
// The section of the settings file that holds the user's collection state:
// the Windows user name, or "" when it cannot be read.
#define USER_NAME_SIZE 255
void StateSectionName(char user[USER_NAME_SIZE]);

// Room for an item file's full path: the folder, then a name of up to 263 characters.
#define ITEM_PATH_SIZE (MAX_PATH + 264)
// folder + name into path (ITEM_PATH_SIZE bytes); false when it does not fit.
bool MakeItemFilePath(const char *folder, const char *name, char *path);
// True when name[0..length) has the form of the names BeginNewItem makes: a
// backslash and one plain file-name component, at most 263 characters.
bool IsItemFileName(const char *name, size_t length);

#endif
