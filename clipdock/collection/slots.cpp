/*
 * The slot table and the collection state string. Slot 0 is the incoming
 * item, slots 1..31 the history, newest first. Every operation here keeps at
 * most 32 item files in the item folder and deletes only files whose names
 * have the form this program makes.
 */
#include "collection/slots.h"

#include <shlobj.h>
#include <string.h>

#include "collection/platform.h"
#include "shell/settings.h"

ItemSlot itemSlots[SLOT_COUNT];
// The entry a running capture pushed out of slot 31; flags 0 when none.
static ItemSlot evictedItem;
// Slot 0's file is being written by a capture and is not an item yet.
static bool incomingInTransit;

static const char ITEM_FOLDER_NAME[] = "\\Tarn Clipboard";
static const char STATE_KEY[] = "CLIPBOOK_STATE";
// In the state, the names after this token are files on their way in or out.
static const char TRANSIT_MARK[] = "*";

// Generated names that collide with an existing file are given up after this many tries.
#define NAME_ATTEMPTS 100

// The application-data folder followed by "\Tarn Clipboard", without checking
// that it exists. The folder is looked up once: every paint and every
// duplicate check opens item files, and the lookup costs more than the open.
// A failed lookup is not kept, and gives no folder (never the drive's root).
static bool ItemFolderPath(char *folder)
{
    static char itemFolder[MAX_PATH];
    if (itemFolder[0] == '\0') {
        char appData[MAX_PATH] = {0};
        if (FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA | CSIDL_FLAG_CREATE, NULL, 0, appData)))
            appData[0] = '\0';
        size_t length = strlen(appData);
        if (length == 0 || length + sizeof ITEM_FOLDER_NAME > MAX_PATH) {
            folder[0] = '\0';
            return false;
        }
        memcpy(itemFolder, appData, length);
        memcpy(itemFolder + length, ITEM_FOLDER_NAME, sizeof ITEM_FOLDER_NAME);
    }
    memcpy(folder, itemFolder, strlen(itemFolder) + 1);
    return true;
}

bool MakeItemFilePath(const char *folder, const char *name, char *path)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    if (folderLength + nameLength + 1 > ITEM_PATH_SIZE)
        return false;
    memcpy(path, folder, folderLength);
    memcpy(path + folderLength, name, nameLength + 1);
    return true;
}

// Device names open a device wherever they appear as a file name, with any extension.
static bool IsDeviceName(const char *component, size_t length)
{
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t base = 0;
    while (base < length && component[base] != '.')
        base++;
    char stem[8];
    if (base == 0 || base >= sizeof stem)
        return false;
    for (size_t i = 0; i < base; i++) {
        char c = component[i];
        stem[i] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
    }
    stem[base] = '\0';
    for (const char *device : devices)
        if (strcmp(stem, device) == 0)
            return true;
    return base == 4 && (memcmp(stem, "COM", 3) == 0 || memcmp(stem, "LPT", 3) == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

bool IsItemFileName(const char *name, size_t length)
{
    if (length < 2 || length > sizeof itemSlots[0].name - 1 || name[0] != '\\')
        return false;
    for (size_t i = 1; i < length; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 0x20 || strchr("\\/:*?\"<>|", c) != NULL)
            return false;
    }
    // The platform drops trailing dots and spaces, so "." , ".." and "x." name
    // something other than themselves.
    char last = name[length - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(name + 1, length - 1);
}

// Deletes one item file; a failure leaves the file, which is all it can do.
static void DeleteItemFile(const char *folder, const char *name)
{
    char path[ITEM_PATH_SIZE];
    if (IsItemFileName(name, strlen(name)) && MakeItemFilePath(folder, name, path))
        platformCalls.removeFile(path);
}

int CountFreeSlots()
{
    int free = 0;
    for (const ItemSlot &slot : itemSlots)
        if (slot.flags == 0)
            free++;
    return free;
}

int FindCurrentSlot()
{
    for (int i = 0; i < SLOT_COUNT; i++)
        if (itemSlots[i].flags & SLOT_CURRENT)
            return i;
    return 0;
}

int FindItemSlot(const char *name)
{
    for (int slot = 0; slot < SLOT_COUNT; slot++)
        if (itemSlots[slot].flags != 0 && name[0] != '\0' && strcmp(itemSlots[slot].name, name) == 0)
            return slot;
    return -1;
}

void MarkCurrent(int slot)
{
    for (ItemSlot &entry : itemSlots)
        if (entry.flags != 0)
            entry.flags &= ~SLOT_CURRENT;
    if (slot >= 0)
        itemSlots[slot].flags |= SLOT_CURRENT;
}

bool EnsureItemFolder(char *folder)
{
    if (!ItemFolderPath(folder))
        return false;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return CreateDirectoryA(folder, NULL) != 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Moves every entry down one slot and frees slot 0 (its name stays); returns
// the entry that fell off the end of the history.
static ItemSlot ShiftIntoHistory()
{
    ItemSlot evicted = itemSlots[SLOT_COUNT - 1];
    for (int k = SLOT_COUNT - 1; k >= 1; k--)
        itemSlots[k] = itemSlots[k - 1];
    itemSlots[0].flags = 0;
    return evicted;
}

static void WriteState(const ItemSlot *leaving);

// Deletes the file of an entry that has left the table. Until the file is
// gone the state names it after the entries kept, so that a stop at any
// moment leaves no file that the state does not name.
static void DeleteLeavingEntry(const ItemSlot &leaving)
{
    WriteState(&leaving);
    char folder[MAX_PATH];
    if (ItemFolderPath(folder))
        DeleteItemFile(folder, leaving.name);
    WriteState(NULL);
}

void VacateIncomingSlot()
{
    ItemSlot evicted = ShiftIntoHistory();
    if (evicted.flags != 0)
        DeleteLeavingEntry(evicted);
}

// True when an occupied slot other than skip already uses name.
static bool NameInUse(const char *name, size_t length, int skip)
{
    for (int i = 0; i < SLOT_COUNT; i++)
        if (i != skip && itemSlots[i].flags != 0 && strlen(itemSlots[i].name) == length &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, itemSlots[i].name, (int)length,
                           name, (int)length) == CSTR_EQUAL)
            return true;
    return false;
}

// A fresh name for slot 0 from tmpnam plus ".crx": one that no file in the
// item folder and no occupied slot has, so creating it never truncates a
// stored item. path receives the full path.
static bool MakeFreshItemName(const char *folder, char *path)
{
    char *name = itemSlots[0].name;
    for (int attempt = 0; attempt < NAME_ATTEMPTS; attempt++) {
        char generated[sizeof itemSlots[0].name] = {0};
        if (platformCalls.tempName(generated) == NULL)
            return false;
        // Only the last component counts: some runtimes give a whole path.
        const char *component = strrchr(generated, '\\');
        if (component == NULL || strlen(component) + sizeof ".crx" > sizeof itemSlots[0].name)
            continue;
        strcpy(name, component);
        strcat(name, ".crx");
        size_t length = strlen(name);
        if (!IsItemFileName(name, length) || NameInUse(name, length, 0) ||
            !MakeItemFilePath(folder, name, path))
            continue;
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND)
            return true;
    }
    return false;
}

FILE *BeginNewItem()
{
    if (evictedItem.flags != 0)
        FinishNewItem();  // a capture that was never finished
    MarkCurrent(-1);
    // The oldest item is only held aside: whether it has to go is known once
    // the new item is written and compared.
    if (itemSlots[0].flags != 0)
        evictedItem = ShiftIntoHistory();

    char folder[MAX_PATH];
    char path[ITEM_PATH_SIZE];
    FILE *stream = NULL;
    bool named = false;
    if (EnsureItemFolder(folder) && MakeFreshItemName(folder, path)) {
        // The new file is named before it exists, so that no stop leaves a
        // file the state does not name: as a file in transit, which a start
        // after a stop in the middle of the capture removes.
        itemSlots[0].flags = SLOT_OCCUPIED | SLOT_CURRENT;
        incomingInTransit = true;
        SaveCollectionState();
        named = true;
        stream = platformCalls.openFile(path, "w+b");
    }
    if (stream == NULL) {
        itemSlots[0].flags = 0;
        incomingInTransit = false;
        if (HeldOutItem() != NULL)
            FinishNewItem();
        else if (named)
            SaveCollectionState();
        return NULL;
    }
    return stream;
}

void FinishNewItem()
{
    bool wasInTransit = incomingInTransit;
    incomingInTransit = false;
    if (evictedItem.flags == 0) {
        if (wasInTransit && itemSlots[0].flags != 0)
            SaveCollectionState();
        return;
    }
    ItemSlot evicted = evictedItem;
    evictedItem.flags = 0;
    if (itemSlots[0].flags != 0) {
        DeleteLeavingEntry(evicted);
        return;
    }
    // Nothing new was kept: every entry goes back up, the held one into slot
    // 31, and a stored copy of the new content (now current) leads, in slot 0:
    // the panel shows it above a list that draws all of slots 1 to 31.
    for (int k = 0; k < SLOT_COUNT - 1; k++)
        itemSlots[k] = itemSlots[k + 1];
    itemSlots[SLOT_COUNT - 1] = evicted;
    for (int k = FindCurrentSlot(); k >= 1; k--) {
        ItemSlot swap = itemSlots[k];
        itemSlots[k] = itemSlots[k - 1];
        itemSlots[k - 1] = swap;
    }
    SaveCollectionState();
}

ItemSlot *HeldOutItem() { return evictedItem.flags != 0 ? &evictedItem : NULL; }

void PromoteCurrentItem()
{
    int current = 0;
    for (int i = 0; i < SLOT_COUNT; i++)
        if (itemSlots[i].flags & SLOT_CURRENT)
            current = i;
    if (current == 0)
        return;
    for (int k = current; k >= 2; k--) {
        ItemSlot swap = itemSlots[k];
        itemSlots[k] = itemSlots[k - 1];
        itemSlots[k - 1] = swap;
    }
    SaveCollectionState();
}

void DropIncomingItem()
{
    if (itemSlots[0].flags == 0) {
        SaveCollectionState();
        return;
    }
    ItemSlot dropped = itemSlots[0];
    itemSlots[0].flags = 0;
    DeleteLeavingEntry(dropped);
}

FILE *OpenSlotItemFile(int slot)
{
    if (slot < 0 || slot >= SLOT_COUNT)
        return NULL;
    return OpenStoredItem(itemSlots[slot]);
}

FILE *OpenStoredItem(const ItemSlot &slot)
{
    char folder[MAX_PATH];
    char path[ITEM_PATH_SIZE];
    size_t length = strnlen(slot.name, sizeof slot.name);
    if (!EnsureItemFolder(folder) || !IsItemFileName(slot.name, length) ||
        !MakeItemFilePath(folder, slot.name, path))
        return NULL;
    // Stored items are only ever read: opening them read-only keeps them
    // restorable in a read-only folder and safe from any stray write.
    return platformCalls.openFile(path, "rb");
}

void ClearCollection()
{
    char folder[MAX_PATH];
    bool haveFolder = ItemFolderPath(folder);
    for (int i = 0; i < SLOT_COUNT; i++) {
        ItemSlot &slot = itemSlots[i];
        if (slot.flags == 0)
            continue;
        if (slot.flags & SLOT_CURRENT) {
            if (i != 0) {
                itemSlots[0] = slot;
                slot.flags = 0;
            }
            continue;
        }
        if (haveFolder)
            DeleteItemFile(folder, slot.name);
        slot.flags = 0;
    }
    SaveCollectionState();
}

void StateSectionName(char user[USER_NAME_SIZE])
{
    memset(user, 0, USER_NAME_SIZE);
    DWORD size = USER_NAME_SIZE - 1;
    if (!platformCalls.userName(user, &size))
        memset(user, 0, USER_NAME_SIZE);
}

void SaveCollectionState() { WriteState(NULL); }

static void AppendName(char *state, size_t *length, const char *name, size_t nameLength)
{
    memcpy(state + *length, name, nameLength);
    *length += nameLength;
    state[(*length)++] = ':';
}

// The state names every entry of the table in slot order, then the transit
// mark and the entries whose files are on their way in or out: a start
// loads the names before the mark and removes the files of the others.
// While a capture writes slot 0 its file is in transit, and while it holds
// the oldest entry aside the list kept is the one before the capture (the
// held entry last).
static void WriteState(const ItemSlot *leaving)
{
    const ItemSlot *held = HeldOutItem();
    const ItemSlot *order[SLOT_COUNT + 2];
    int count = 0;
    for (int i = incomingInTransit ? 1 : 0; i < SLOT_COUNT; i++)
        order[count++] = &itemSlots[i];
    if (held != NULL)
        order[count++] = held;
    int kept = count;
    if (incomingInTransit)
        order[count++] = &itemSlots[0];
    if (leaving != NULL)
        order[count++] = leaving;
    char state[(SLOT_COUNT + 3) * sizeof itemSlots[0].name + 1];
    size_t length = 0;
    bool marked = false;
    for (int i = 0; i < count; i++) {
        const ItemSlot &slot = *order[i];
        if (slot.flags == 0)
            continue;
        if (i >= kept && !marked) {
            AppendName(state, &length, TRANSIT_MARK, sizeof TRANSIT_MARK - 1);
            marked = true;
        }
        AppendName(state, &length, slot.name, strnlen(slot.name, sizeof slot.name - 1));
    }
    state[length] = '\0';
    char user[USER_NAME_SIZE];
    StateSectionName(user);
    WriteSetting(user, STATE_KEY, state);
}

// True for a name of the files BeginNewItem makes (".crx" last): a start
// removes no other file, whatever an edited state names.
static bool IsMadeItemName(const char *name, size_t length)
{
    return IsItemFileName(name, length) && length > 4 &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name + length - 4, 4, ".crx", 4) ==
               CSTR_EQUAL;
}

void LoadCollectionState(const char *state)
{
    // The value may have been edited: only names of our own form are taken
    // (the table deletes folder + name later), each once, at most 32 of them.
    memset(itemSlots, 0, sizeof itemSlots);
    int slot = 0;
    const char *token = state;
    while (slot < SLOT_COUNT) {
        const char *end = strchr(token, ':');
        if (end == NULL)
            break;
        size_t length = (size_t)(end - token);
        if (length == sizeof TRANSIT_MARK - 1 && memcmp(token, TRANSIT_MARK, length) == 0)
            break;
        if (IsItemFileName(token, length) && !NameInUse(token, length, -1)) {
            memcpy(itemSlots[slot].name, token, length);
            itemSlots[slot].name[length] = '\0';
            itemSlots[slot].flags = SLOT_OCCUPIED;
            slot++;
        }
        token = end + 1;
    }
    // Names after the transit mark (or, in states written without one, after
    // the 32nd) are files that were on their way in or out when the program
    // was stopped (see WriteState): they go now.
    char folder[MAX_PATH];
    for (const char *end; (end = strchr(token, ':')) != NULL; token = end + 1) {
        size_t length = (size_t)(end - token);
        char name[sizeof itemSlots[0].name];
        if (!IsMadeItemName(token, length) || NameInUse(token, length, -1) || !ItemFolderPath(folder))
            continue;
        memcpy(name, token, length);
        name[length] = '\0';
        DeleteItemFile(folder, name);
    }
}
