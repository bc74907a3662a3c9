#!/usr/bin/env python3
"""Draws clipdock's pictures and writes them as the resource files.

    python3 scripts/make-resources.py [OUTPUT-FOLDER]

The default folder is clipdock/resources. Everything is drawn here on palette
canvases and written as uncompressed bottom-up BMP and ICO files, so the
committed images can always be made again from this script alone.

  logo.bmp      90 x 86, 8 bit   the program's logo on white
  sky.bmp      113 x 59, 8 bit   light blue cloud shading fading to white
  obj.bmp       32 x 26, 4 bit   a sheet of paper: an item with no preview
  sys.bmp       55 x 21, 4 bit   grey tab with the minimise dash and close cross
  about.bmp    394 x 187, 1 bit  the About picture
  clipdock.ico  16 x 16 and 32 x 32, 4 bit

The header pictures are loaded so that the colour of their first stored
pixel (bottom left in a bottom-up BMP) turns into the window colour; each
one therefore has its background colour in both bottom corners, and that
colour is used for nothing else.
"""
import math
import os
import struct
import sys


class Canvas:
    """A width x height grid of palette indices, row 0 at the top."""

    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, index):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = index

    def get(self, x, y):
        return self.rows[y][x]

    def rect(self, x0, y0, x1, y1, index):
        """Fills x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.rows[y][x] = index

    def frame(self, x0, y0, x1, y1, index, width=1):
        self.rect(x0, y0, x1, y0 + width, index)
        self.rect(x0, y1 - width, x1, y1, index)
        self.rect(x0, y0, x0 + width, y1, index)
        self.rect(x1 - width, y0, x1, y1, index)

    def round_rect(self, x0, y0, x1, y1, radius, index):
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx = min(max(x + 0.5, x0 + radius), x1 - radius)
                cy = min(max(y + 0.5, y0 + radius), y1 - radius)
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                    self.put(x, y, index)

    def line(self, x0, y0, x1, y1, index, thickness=1):
        steps = max(abs(x1 - x0), abs(y1 - y0)) * 2 + 1
        half = (thickness - 1) / 2.0
        for i in range(steps + 1):
            t = i / steps
            x = x0 + (x1 - x0) * t
            y = y0 + (y1 - y0) * t
            for dy in range(-int(math.ceil(half)), int(math.ceil(half)) + 1):
                for dx in range(-int(math.ceil(half)), int(math.ceil(half)) + 1):
                    if abs(dx) <= half + 0.01 and abs(dy) <= half + 0.01:
                        self.put(int(round(x + dx)), int(round(y + dy)), index)

    def text(self, x, y, string, index, scale=1):
        """Draws string in the 5 x 7 font; returns the x after the last glyph."""
        for ch in string:
            glyph = FONT.get(ch.upper(), FONT['?'])
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == '#':
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, index)
            x += (len(glyph[0]) + 1) * scale
        return x


def text_width(string, scale=1):
    return sum((len(FONT.get(ch.upper(), FONT['?'])[0]) + 1) * scale for ch in string) - scale


# A 5 x 7 capital font (narrower glyphs for punctuation), enough for the
# About picture's few lines.
FONT_ROWS = {
    'A': ".###.|#...#|#...#|#####|#...#|#...#|#...#",
    'B': "####.|#...#|#...#|####.|#...#|#...#|####.",
    'C': ".###.|#...#|#....|#....|#....|#...#|.###.",
    'D': "####.|#...#|#...#|#...#|#...#|#...#|####.",
    'E': "#####|#....|#....|####.|#....|#....|#####",
    'F': "#####|#....|#....|####.|#....|#....|#....",
    'G': ".###.|#...#|#....|#.###|#...#|#...#|.####",
    'H': "#...#|#...#|#...#|#####|#...#|#...#|#...#",
    'I': "###|.#.|.#.|.#.|.#.|.#.|###",
    'J': "..###|...#.|...#.|...#.|#..#.|#..#.|.##..",
    'K': "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#",
    'L': "#....|#....|#....|#....|#....|#....|#####",
    'M': "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#",
    'N': "#...#|##..#|#.#.#|#..##|#...#|#...#|#...#",
    'O': ".###.|#...#|#...#|#...#|#...#|#...#|.###.",
    'P': "####.|#...#|#...#|####.|#....|#....|#....",
    'Q': ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#",
    'R': "####.|#...#|#...#|####.|#.#..|#..#.|#...#",
    'S': ".####|#....|#....|.###.|....#|....#|####.",
    'T': "#####|..#..|..#..|..#..|..#..|..#..|..#..",
    'U': "#...#|#...#|#...#|#...#|#...#|#...#|.###.",
    'V': "#...#|#...#|#...#|#...#|#...#|.#.#.|..#..",
    'W': "#...#|#...#|#...#|#.#.#|#.#.#|#.#.#|.#.#.",
    'X': "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#",
    'Y': "#...#|#...#|.#.#.|..#..|..#..|..#..|..#..",
    'Z': "#####|....#|...#.|..#..|.#...|#....|#####",
    '0': ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.",
    '1': "..#..|.##..|..#..|..#..|..#..|..#..|.###.",
    '2': ".###.|#...#|....#|...#.|..#..|.#...|#####",
    '3': "####.|....#|....#|.###.|....#|....#|####.",
    '4': "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.",
    '5': "#####|#....|####.|....#|....#|#...#|.###.",
    '6': "..##.|.#...|#....|####.|#...#|#...#|.###.",
    '7': "#####|....#|...#.|..#..|.#...|.#...|.#...",
    '8': ".###.|#...#|#...#|.###.|#...#|#...#|.###.",
    '9': ".###.|#...#|#...#|.####|....#|...#.|.##..",
    ' ': "...|...|...|...|...|...|...",
    '.': ".|.|.|.|.|.|#",
    ',': "..|..|..|..|..|.#|#.",
    "'": "#|#|.|.|.|.|.",
    ':': ".|#|.|.|.|#|.",
    '-': "....|....|....|####|....|....|....",
    '+': ".....|..#..|..#..|#####|..#..|..#..|.....",
    '/': "....#|...#.|...#.|..#..|.#...|.#...|#....",
    '(': ".#|#.|#.|#.|#.|#.|.#",
    ')': "#.|.#|.#|.#|.#|.#|#.",
    '?': ".###.|#...#|....#|...#.|..#..|.....|..#..",
}
FONT = {ch: rows.split('|') for ch, rows in FONT_ROWS.items()}


# ---- writers ---------------------------------------------------------------

def pack_rows(canvas, bpp):
    """The pixel rows bottom-up, each padded to a multiple of four bytes."""
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = canvas.rows[y]
        bits = bytearray()
        acc, nbits = 0, 0
        for index in row:
            acc = (acc << bpp) | index
            nbits += bpp
            if nbits == 8:
                bits.append(acc)
                acc, nbits = 0, 0
        if nbits:
            bits.append(acc << (8 - nbits))
        while len(bits) % 4:
            bits.append(0)
        out += bits
    return bytes(out)


def dib(canvas, palette, bpp, height_factor=1):
    colours = 1 << bpp
    assert len(palette) <= colours
    assert max(max(r) for r in canvas.rows) < len(palette)
    header = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height * height_factor,
                         1, bpp, 0, 0, 2835, 2835, colours, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in
                     list(palette) + [(0, 0, 0)] * (colours - len(palette)))
    return header + table, pack_rows(canvas, bpp)


def write_bmp(path, canvas, palette, bpp):
    head, bits = dib(canvas, palette, bpp)
    offset = 14 + len(head)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(bits), 0, 0, offset))
        f.write(head + bits)


def write_ico(path, images):
    """images: (canvas, palette, transparent index) each; 4 bits per pixel."""
    blobs = []
    for canvas, palette, clear in images:
        head, xor_bits = dib(canvas, palette, 4, height_factor=2)
        mask = Canvas(canvas.width, canvas.height)
        for y in range(canvas.height):
            for x in range(canvas.width):
                mask.rows[y][x] = 1 if canvas.get(x, y) == clear else 0
        blobs.append((canvas, head + xor_bits + pack_rows(mask, 1)))
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(blobs)))
        offset = 6 + 16 * len(blobs)
        for canvas, blob in blobs:
            f.write(struct.pack('<BBBBHHII', canvas.width, canvas.height, 16, 0, 1, 4,
                                len(blob), offset))
            offset += len(blob)
        for _, blob in blobs:
            f.write(blob)


# ---- the pictures ------------------------------------------------------------

def draw_clipboard(c, x0, y0, w, h, ink):
    """A clipboard with a sheet and text lines, the program's emblem.
    ink: dict of palette indices board, board_edge, paper, paper_edge,
    line, clip, clip_edge."""
    r = max(1, w // 12)
    c.round_rect(x0, y0 + h // 10, x0 + w, y0 + h, r + 1, ink['board_edge'])
    c.round_rect(x0 + 1, y0 + h // 10 + 1, x0 + w - 1, y0 + h - 1, r, ink['board'])
    px0, px1 = x0 + max(2, w // 8), x0 + w - max(2, w // 8)
    py0, py1 = y0 + h // 5, y0 + h - max(2, h // 12)
    c.rect(px0, py0, px1, py1, ink['paper_edge'])
    c.rect(px0 + 1, py0 + 1, px1 - 1, py1 - 1, ink['paper'])
    gap = max(2, h // 9)
    y = py0 + max(3, h // 7)
    n = 0
    while y < py1 - max(2, gap // 2):
        end = px1 - max(2, w // 10) - (max(2, w // 5) if n % 3 == 2 else 0)
        c.rect(px0 + max(2, w // 10), y, end, y + max(1, h // 40), ink['line'])
        y += gap
        n += 1
    cw = max(4, w * 2 // 5)
    cx0 = x0 + (w - cw) // 2
    ch = max(3, h // 6)
    c.round_rect(cx0, y0, cx0 + cw, y0 + ch, max(1, ch // 3), ink['clip_edge'])
    c.round_rect(cx0 + 1, y0 + 1, cx0 + cw - 1, y0 + ch - 1, max(1, ch // 3 - 1), ink['clip'])
    if w >= 24:
        hw = max(2, cw // 4)
        c.rect(cx0 + (cw - hw) // 2, y0 + 1, cx0 + (cw + hw) // 2, y0 + max(2, ch // 3) + 1,
               ink['clip_edge'])


def logo():
    palette = [
        (255, 255, 255),  # 0 background: becomes the window colour
        (40, 40, 48),     # 1 outline
        (176, 122, 64),   # 2 board
        (112, 72, 32),    # 3 board edge
        (250, 250, 244),  # 4 paper
        (150, 150, 158),  # 5 paper edge
        (8, 27, 203),     # 6 text lines (the frame's blue)
        (196, 200, 210),  # 7 clip
        (84, 88, 100),    # 8 clip edge
        (226, 230, 238),  # 9 sheets behind
        (93, 179, 255),   # 10 light blue lines on the older sheets
    ]
    c = Canvas(90, 86, 0)
    # Two older sheets of the history stand behind the board.
    for off in (16, 8):
        c.rect(22 + off, 10 + off // 2, 62 + off, 74 + off // 2, 5)
        c.rect(23 + off, 11 + off // 2, 61 + off, 73 + off // 2, 9)
        for y in range(20 + off // 2, 70 + off // 2, 7):
            c.rect(62 + off - 12, y, 62 + off - 3, y + 1, 10)
    ink = dict(board=2, board_edge=3, paper=4, paper_edge=5, line=6, clip=7, clip_edge=8)
    draw_clipboard(c, 6, 4, 58, 78, ink)
    c.rows[85][0] = c.rows[85][89] = c.rows[0][0] = 0
    return c, palette


def sky():
    blue, white = (126, 186, 242), (255, 255, 255)
    levels = 200
    palette = [white] + [tuple(int(round(blue[k] + (white[k] - blue[k]) * i / (levels - 1)))
                               for k in range(3)) for i in range(levels - 1)]
    clouds = [(22, 14, 15), (42, 10, 11), (58, 18, 12), (10, 30, 10), (34, 30, 13),
              (72, 8, 9), (86, 24, 8)]
    c = Canvas(113, 59, 0)
    for y in range(59):
        for x in range(113):
            # Shade fades to white towards the right and the bottom ...
            t = max(x / 112.0, 0.0) ** 1.3 * 0.85 + (y / 58.0) ** 1.6 * 0.9
            # ... with soft white clouds in the blue.
            for cx, cy, r in clouds:
                d = math.hypot((x - cx) / 1.6, y - cy) / r
                if d < 1.0:
                    t += 0.55 * (1.0 - d * d)
            t = min(1.0, t)
            index = int(round(t * (levels - 1)))
            c.rows[y][x] = 0 if index >= levels - 1 else index + 1
    # The bottom row is white throughout: its first pixel is the key colour.
    for x in range(113):
        c.rows[58][x] = 0
    return c, palette


def obj():
    palette = [
        (255, 0, 255),    # 0 background: becomes the window colour
        (64, 64, 72),     # 1 outline
        (255, 255, 255),  # 2 paper
        (200, 204, 212),  # 3 folded corner
        (120, 150, 200),  # 4 text lines
        (150, 150, 158),  # 5 shadow
    ]
    c = Canvas(32, 26, 0)
    x0, y0, x1, y1, fold = 8, 1, 24, 25, 7
    c.rect(x0 + 1, y0 + 1, x1 + 1, y1 + 1, 5)
    c.rect(x0, y0, x1, y1, 1)
    c.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 2)
    # The top right corner is folded down: cut it off, draw the flap below.
    for y in range(y0, y0 + fold + 1):
        for x in range(x1 - fold - 1, x1 + 1):
            dx, dy = x - (x1 - fold - 1), y - y0
            if dx > dy:
                c.put(x, y, 0)
            elif dx == dy or y == y0 + fold or x == x1 - fold - 1:
                c.put(x, y, 1)
            else:
                c.put(x, y, 3)
    c.rect(x1 - 1 + 1, y0 + fold, x1 + 1, y0 + fold + 1, 0)
    c.rect(x1 - 1, y0 + fold, x1, y1, 1)
    for n, y in enumerate(range(y0 + 10, y1 - 3, 3)):
        c.rect(x0 + 3, y, x1 - 3 - (4 if n % 3 == 2 else 0), y + 1, 4)
    c.rect(x0 + 3, y0 + 4, x1 - fold - 4, y0 + 5, 4)
    c.rect(x0 + 3, y0 + 7, x1 - fold - 4, y0 + 8, 4)
    for x in (0, 31):
        c.rows[25][x] = c.rows[0][x] = 0
    return c, palette


def sys_glyphs():
    palette = [
        (255, 0, 255),    # 0 background: becomes the window colour
        (192, 192, 192),  # 1 tab
        (128, 128, 128),  # 2 tab edge
        (240, 240, 240),  # 3 highlight
        (0, 0, 0),        # 4 glyphs
        (160, 160, 160),  # 5 separator
    ]
    c = Canvas(55, 21, 0)
    # The tab hangs from the top edge; its left side slants inwards.
    for y in range(21):
        left = 5 + y // 3
        c.rect(left, y, 55, y + 1, 1)
        c.put(left, y, 2)
    c.rect(12, 20, 55, 21, 2)
    c.rect(6, 0, 55, 1, 3)
    # Minimise: a dash in the button left of the close area.
    c.rect(23, 12, 34, 15, 4)
    c.rect(37, 3, 38, 18, 5)
    # Close: a cross in the rightmost button.
    for i in range(9):
        for t in (0, 1):
            c.put(42 + i + t, 5 + i, 4)
            c.put(50 - i + t, 5 + i, 4)
    c.rows[20][0] = c.rows[0][0] = 0
    return c, palette


def about():
    # The dialog's box is 339 x 153 pixels at 96 DPI with the system's dialog
    # font (wider under Wine); the picture is made for larger fonts, so its
    # content stays inside the box's size and the rest is blank.
    c = Canvas(394, 187, 1)  # 1 = white, 0 = black
    x0, y0, w, h = 18, 22, 56, 90
    ink = dict(board=1, board_edge=0, paper=1, paper_edge=0, line=0, clip=1, clip_edge=0)
    draw_clipboard(c, x0, y0, w, h, ink)
    # The board is hatched so that the emblem reads in one bit.
    paper_x = range(x0 + max(2, w // 8), x0 + w - max(2, w // 8))
    paper_y = range(y0 + h // 5, y0 + h - max(2, h // 12))
    for y in range(y0 + h // 10 + 1, y0 + h - 1):
        for x in range(x0 + 1, x0 + w - 1):
            if (x + y) % 4 == 0 and c.get(x, y) == 1 and not (x in paper_x and y in paper_y):
                c.put(x, y, 0)
    x = 92
    c.text(x, 26, "TARN'S CLIPBOARD", 0, 2)
    c.rect(x, 44, x + text_width("TARN'S CLIPBOARD", 2), 46, 0)
    c.text(x, 54, "VERSION 1.0", 0, 2)
    c.text(x, 80, "A HISTORY OF WHAT YOU COPY,", 0, 1)
    c.text(x, 91, "DOCKED AT THE EDGE OF THE SCREEN.", 0, 1)
    c.text(x, 105, "CTRL+ALT+UP/DOWN: STEP THROUGH IT", 0, 1)
    c.text(x, 116, "CTRL+ALT+SPACE: SHOW THE PANEL", 0, 1)
    c.text(x, 134, "(C) 2006 BETAL TEAM", 0, 1)
    return c, [(0, 0, 0), (255, 255, 255)]


def icon(size):
    palette = [
        (0, 0, 0),        # 0 transparent (masked)
        (112, 72, 32),    # 1 board edge
        (176, 122, 64),   # 2 board
        (250, 250, 244),  # 3 paper
        (110, 110, 120),  # 4 paper edge
        (8, 27, 203),     # 5 lines
        (196, 200, 210),  # 6 clip
        (60, 64, 76),     # 7 clip edge
    ]
    c = Canvas(size, size, 0)
    ink = dict(board=2, board_edge=1, paper=3, paper_edge=4, line=5, clip=6, clip_edge=7)
    if size == 16:
        draw_clipboard(c, 2, 0, 12, 16, ink)
    else:
        draw_clipboard(c, 4, 1, 24, 31, ink)
    return c, palette, 0


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'clipdock', 'resources')
    os.makedirs(out, exist_ok=True)
    for name, (canvas, palette), bpp in (('logo.bmp', logo(), 8), ('sky.bmp', sky(), 8),
                                         ('obj.bmp', obj(), 4), ('sys.bmp', sys_glyphs(), 4),
                                         ('about.bmp', about(), 1)):
        write_bmp(os.path.join(out, name), canvas, palette, bpp)
    write_ico(os.path.join(out, 'clipdock.ico'), [icon(16), icon(32)])


if __name__ == '__main__':
    main()
