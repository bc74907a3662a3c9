/*
 * Item previews: a small picture of one stored item, drawn from the entry
 * of its best previewable format, into a rectangle of a device context.
 */
#ifndef CLIPDOCK_UI_PREVIEW_H
#define CLIPDOCK_UI_PREVIEW_H

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#define PREVIEW_FORMAT_COUNT 5
// The base formats that can be previewed, best first.
extern const UINT previewFormatPriority[PREVIEW_FORMAT_COUNT];

// Under the no-preview picture: the whole text, wrapped to the box, or the
// short one where the wrapped lines would not fit.
#define NO_PREVIEW_TEXT "Clipboard Item - No preview"
#define NO_PREVIEW_SHORT_TEXT "No preview"

// Index of the first entry with the best-ranked base format, or -1.
int32_t FindPreviewEntry(FILE *item, uint32_t count);

// Draws slot's item into *box with dc's current font, colour and background
// mode. Only the no-preview picture changes *box (its top edge). A slot
// whose item file cannot be opened draws nothing.
void DrawItemPreview(int slot, RECT *box, HDC dc, DWORD maxWidth, DWORD maxHeight);

// The DIB steps alone, on a whole entry's bytes (index names it in error
// texts): the picture that DrawItemPreview draws from the part it reads.
void DrawDibPreview(const uint8_t *bytes, uint32_t size, int32_t index, RECT *box, HDC dc,
                    DWORD maxWidth, DWORD maxHeight);

// Where the pixels of a packed DIB of size bytes begin, counted from its
// start; 0 when its header would make the platform read past the end.
// Only the first 40 bytes are read.
uint32_t DibPixelOffset(const uint8_t *bytes, uint32_t size);

#endif
