#!/usr/bin/env python3
"""Soak run of clipdock.exe under Wine on the test display.

The real program takes 2,000 clipboard changes set on the X side with xclip:
texts from a few bytes to a few hundred KB, HTML, PNG and BMP pictures, and
repeats of earlier contents that must fold into the stored item, with a few
bursts of changes that follow each other without waiting. The panel is shown
(through the tray callback, with "Don't hide") and paints on every capture,
and between changes its list is scrolled and the pointer moves over it.

A clipboard viewer (soaktool) joins the chain after clipdock, so it is told
of each change first: it reads the change's text formats (under Wine the
first reader of an X text keeps memory for its conversion for good), hands
the notification to clipdock and says when clipdock has handled it. After every
change the history the program saved is compared with a model of what it
must be: the newest distinct contents, a repeat moved to the front, at most
32 items. At the end every item file is read with the library's own reader
(soaktool) and compared entry by entry with the model, the folder must hold
exactly the named files, Exit must end the program with code 0, and the
program's GDI and USER objects and private memory must be back near where
they were after the first hundred changes.

    soak.py SOURCE-DIR WINE-STATE BIN-DIR [--changes N] [--seed S]
"""
import argparse
import collections
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

WINE = None                 # the build's Wine loader, set by Desktop
HISTORY = 32                # slot 0 and the 31 history slots
CHANGE_DEADLINE = 30.0      # seconds for one change to be captured
QUIET_PERIOD = 10.0         # a differing history that stays so this long is final
BASELINE_AT = 100           # changes before the first measurement
BURSTS = 12
BURST_LENGTH = 5
BURST_SETTLE = 0.3         # seconds without a notification that end a burst
# Margins of the final figures over the ones after the first hundred changes.
GDI_MARGIN = 4
USER_MARGIN = 2
MEMORY_MARGIN_KB = 1024
FD_MARGIN = 2

# Formats as the program stores them.
CF_TEXT, CF_OEMTEXT, CF_DIB, CF_UNICODETEXT, CF_LOCALE = 1, 7, 8, 13, 16
NAMED = 0xFFFF
# The formats an item of each kind holds (named formats count as NAMED).
KIND_FORMATS = {'text': [CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT, CF_LOCALE], 'html': [NAMED],
                'png': [NAMED], 'bmp': [CF_DIB]}

failures = []


def fail(message):
    failures.append(message)
    print('FAIL: ' + message, flush=True)


def note(message):
    print(message, flush=True)


# ---------------------------------------------------------------- contents

class Content:
    """One distinct clipboard content: what xclip offers and what the
    program must store for it."""

    def __init__(self, ident, kind, payload, target, key, detail):
        self.ident = ident
        self.kind = kind        # 'text', 'html', 'png' or 'bmp'
        self.payload = payload  # the bytes xclip serves
        self.target = target    # xclip -t, or None for text
        self.key = key          # what identifies it in an item file
        self.detail = detail    # the text, the HTML or the picture
        self.path = None

    def describe(self):
        return '#%d (%s, %d bytes)' % (self.ident, self.kind, len(self.payload))


WORDS = ('clip dock soak wine panel list slot item format text html picture '
         'history paint tray cursor window memory object repeat burst front '
         'stored oldest newest a of the to and in it').split()


def make_text(rng, ident, size):
    head = '%d' % ident
    if size <= len(head):
        return head
    parts = [head]
    length = len(head)
    while length < size:
        word = rng.choice(WORDS)
        if rng.random() < 0.15:
            word += rng.choice('.,;:!?-+=()[]{}<>/"\'*&%$@^~`|_0123456789')
        separator = '\n' if rng.random() < 0.08 else ' '
        parts.append(separator + word)
        length += len(word) + 1
    return ''.join(parts)[:size]


def png_chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data +
            struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))


def make_png(rng, ident, width, height):
    # The first pixel carries the identity, the rest is noise.
    rows = []
    for y in range(height):
        row = bytearray(rng.getrandbits(8) for _ in range(width * 3))
        if y == 0:
            row[0:3] = ident.to_bytes(3, 'big')
        rows.append(b'\0' + bytes(row))
    return (b'\x89PNG\r\n\x1a\n' +
            png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            png_chunk(b'IDAT', zlib.compress(b''.join(rows))) + png_chunk(b'IEND', b''))


def make_bmp(rng, ident, width, height):
    """A 24-bit bottom-up BMP file and its pixels as rows of B, G, R,
    bottom row first, without row padding."""
    pixels = bytearray(rng.getrandbits(8) for _ in range(width * height * 3))
    pixels[0:3] = ident.to_bytes(3, 'little')
    stride = (width * 3 + 3) // 4 * 4
    body = b''.join(bytes(pixels[y * width * 3:(y + 1) * width * 3]) +
                    b'\0' * (stride - width * 3) for y in range(height))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = b'BM' + struct.pack('<IHHI', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + body, bytes(pixels)


def picture_key(width, height, pixels):
    return b'%dx%d:' % (width, height) + pixels


class Contents:
    """Makes distinct contents on demand; the same randomness gives the same run."""

    def __init__(self, rng, folder):
        self.rng = rng
        self.folder = folder
        self.all = []
        self.by_key = {}

    def add(self, kind, size_class=None, text=None):
        rng = self.rng
        ident = len(self.all)
        if text is not None:
            content = Content(ident, 'text', text.encode('ascii'), None, ('text', text), text)
        elif kind == 'text':
            bounds = {'tiny': (1, 30), 'small': (30, 1000), 'medium': (1000, 30000),
                      'large': (30000, 150000), 'huge': (150000, 400000)}[size_class]
            text = make_text(rng, ident, rng.randint(*bounds))
            content = Content(ident, 'text', text.encode('ascii'), None, ('text', text), text)
        elif kind == 'html':
            size = rng.choice((20, 60, 200, 1000, 5000, 20000))
            html = '<p>soak %d <b>%s</b></p>' % (ident, make_text(rng, ident, size).replace('\n', ' '))
            content = Content(ident, 'html', html.encode('ascii'), 'text/html', ('html', html), html)
        elif kind == 'png':
            side = rng.choice((1, 4, 16, 40, 96)) if size_class is None else size_class
            width, height = side, max(1, side * rng.randint(1, 3) // 2)
            data = make_png(rng, ident, width, height)
            content = Content(ident, 'png', data, 'image/png', ('png', data), (width, height))
        else:
            side = rng.choice((1, 3, 8, 33, 64, 160)) if size_class is None else size_class
            width, height = side, max(1, side * rng.randint(1, 3) // 2)
            data, pixels = make_bmp(rng, ident, width, height)
            content = Content(ident, 'bmp', data, 'image/bmp',
                              ('bmp', picture_key(width, height, pixels)), (width, height, pixels))
        content.path = os.path.join(self.folder, 'c%05d' % ident)
        with open(content.path, 'wb') as out:
            out.write(content.payload)
        assert content.key not in self.by_key
        self.by_key[content.key] = content
        self.all.append(content)
        return content

    def add_random(self):
        r = self.rng.random()
        if r < 0.55:
            classes = (('tiny', 0.3), ('small', 0.4), ('medium', 0.2), ('large', 0.08), ('huge', 0.02))
            pick = self.rng.random()
            for size_class, share in classes:
                pick -= share
                if pick <= 0:
                    break
            return self.add('text', size_class)
        if r < 0.7:
            return self.add('html')
        if r < 0.85:
            return self.add('png')
        return self.add('bmp')

    def add_small(self, kind):
        if kind == 'text':
            return self.add('text', self.rng.choice(('tiny', 'small')))
        return self.add(kind, self.rng.choice((1, 4, 8)) if kind != 'html' else None)


# ------------------------------------------------------ reading item files

def read_rooms(path):
    """The entries of an item file as (base format, data), or None while
    the file is incomplete. Used only to tell which content a file holds
    during the run; the final check reads every file with the library."""
    try:
        with open(path, 'rb') as item:
            data = item.read()
    except OSError:
        return None
    if len(data) < 16 or data[:8] != b'CLIPBOOK':
        return None
    count, offset = struct.unpack_from('<II', data, 8)
    rooms = []
    for index in range(count):
        if offset + 16 > len(data):
            return None
        magic, base, number, size, length = struct.unpack_from('<4sHHII', data, offset)
        if magic != b'ROOM' or number != index or size < 16 + length or \
                offset + 16 + length > len(data):
            return None
        rooms.append((base, data[offset + 16:offset + 16 + length]))
        offset += size
    return rooms


def text_of_unicode(data):
    return data.decode('utf-16-le', 'replace').rstrip('\0').replace('\r\n', '\n')


def html_fragment(data):
    head = data[:400].decode('ascii', 'replace')
    start = re.search(r'StartFragment:(\d+)', head)
    end = re.search(r'EndFragment:(\d+)', head)
    if not start or not end:
        return None
    fragment = data[int(start.group(1)):int(end.group(1))]
    if fragment.endswith(b'\n'):
        fragment = fragment[:-1]
    return fragment.decode('ascii', 'replace')


def dib_key(data):
    """A CF_DIB as width, height and bottom-up B, G, R pixels."""
    if len(data) < 40:
        return None
    size, width, height, planes, bits, compression = struct.unpack_from('<IiiHHI', data, 0)
    if size < 40 or width <= 0 or height == 0 or planes != 1 or bits not in (24, 32):
        return None
    offset = size + (12 if compression == 3 and size == 40 else 0)
    if compression not in (0, 3):
        return None
    stride = (width * bits + 31) // 32 * 4
    rows = abs(height)
    if offset + stride * rows > len(data):
        return None
    step = bits // 8
    lines = []
    for y in range(rows):
        row = data[offset + y * stride:offset + y * stride + width * step]
        lines.append(row if step == 3 else b''.join(row[x:x + 3] for x in range(0, len(row), 4)))
    if height < 0:
        lines.reverse()
    return picture_key(width, rows, b''.join(lines))


def key_of_rooms(rooms):
    formats = dict(rooms)
    if CF_UNICODETEXT in formats:
        return ('text', text_of_unicode(formats[CF_UNICODETEXT]))
    if CF_DIB in formats:
        return ('bmp', dib_key(formats[CF_DIB]))
    for base, data in rooms:
        if base == NAMED and data.startswith(b'\x89PNG'):
            return ('png', data)
        if base == NAMED and data.startswith(b'Version:'):
            return ('html', html_fragment(data))
    return None


# ------------------------------------------------------------- the desktop

class Desktop:
    def __init__(self, source, state, bin_dir, work):
        global WINE
        self.bin = bin_dir
        self.work = work
        # The build's Wine environment (prefix, display, which Wine) as the
        # shell scripts get it.
        dump = subprocess.run(['bash', '-c', 'source "$1/scripts/wine-env.sh" vars "$2" && env -0',
                               'wine-env', source, state],
                              capture_output=True, check=True).stdout
        self.env = dict(item.split('=', 1) for item in dump.decode().split('\0') if '=' in item)
        WINE = self.env['CLIPDOCK_WINE']
        self.xclips = []
        self.processes = []

    def tool(self, *args, timeout=60):
        result = subprocess.run([WINE, os.path.join(self.bin, 'soaktool.exe')] + list(args),
                                env=self.env, cwd=self.bin, capture_output=True, timeout=timeout)
        return result.returncode, result.stdout.decode('latin-1').replace('\r', '')

    def unix_path(self, windows_path):
        result = subprocess.run([WINE, 'winepath.exe', '-u', windows_path], env=self.env,
                                capture_output=True, timeout=60)
        return result.stdout.decode('utf-8', 'replace').strip()

    def start(self, args, **options):
        process = subprocess.Popen(args, env=self.env, **options)
        self.processes.append(process)
        return process

    def put(self, content, announce=False):
        """Sets the X clipboard to content with a new xclip, which serves it
        until another client takes the clipboard. With announce, returns
        once xclip says it owns the clipboard."""
        args = ['xclip', '-selection', 'clipboard', '-quiet']
        if content.target:
            args += ['-t', content.target]
        args += ['-i', content.path]
        process = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE if announce else subprocess.DEVNULL)
        self.xclips = [p for p in self.xclips if p.poll() is None]
        self.xclips.append(process)
        if announce:
            owned = threading.Event()

            def wait_owner():
                for line in process.stderr:
                    if b'Waiting for selection' in line:
                        owned.set()
                        break
                owned.set()
                for _ in process.stderr:
                    pass
            threading.Thread(target=wait_owner, daemon=True).start()
            owned.wait(CHANGE_DEADLINE)
        return process

    def stop_all(self):
        for process in self.xclips + self.processes:
            if process.poll() is None:
                process.terminate()
        deadline = time.monotonic() + 15
        for process in self.xclips + self.processes:
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


class Viewer:
    """soaktool's clipboard viewer; counts notifications and keeps the
    highest clipboard sequence number seen with one."""

    def __init__(self, desktop):
        self.process = desktop.start([WINE, os.path.join(desktop.bin, 'soaktool.exe'), 'chain',
                                      '1200'], cwd=desktop.bin, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.cond = threading.Condition()
        self.joined = False
        self.draws = 0
        self.seq = -1
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.process.stdout:
            line = raw.decode('latin-1').strip()
            with self.cond:
                if line == 'joined':
                    self.joined = True
                elif line.startswith('draw '):
                    self.draws += 1
                    self.seq = max(self.seq, int(line.split()[1]))
                self.cond.notify_all()

    def wait(self, predicate, timeout):
        deadline = time.monotonic() + timeout
        with self.cond:
            while not predicate():
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return False
                self.cond.wait(remaining)
        return True

    def pause(self, seconds):
        """Waits for the next notification, at most seconds."""
        with self.cond:
            self.cond.wait(seconds)


# -------------------------------------------------------- program's state

class Collection:
    """The program's saved history, read from its files."""

    def __init__(self, folder, ini, contents):
        self.folder = folder
        self.ini = ini
        self.contents = contents
        self.known = {}  # item-file name -> content, for names in the state

    def names(self):
        try:
            with open(self.ini, 'rb') as ini:
                text = ini.read().decode('latin-1')
        except OSError:
            return None
        section = None
        for line in text.splitlines():
            line = line.strip()
            if line.startswith('[') and line.endswith(']'):
                section = line[1:-1]
            elif section != 'CLIPBOOK_STATE' and line.startswith('CLIPBOOK_STATE='):
                value = line[len('CLIPBOOK_STATE='):]
                if value and not value.endswith(':'):
                    return None  # being written
                return [name for name in value.split(':')[:-1]] if value else []
        return []

    def path(self, name):
        return os.path.join(self.folder, name.lstrip('\\'))

    def identify(self, name):
        if name in self.known:
            return self.known[name]
        rooms = read_rooms(self.path(name))
        if rooms is None:
            return None
        content = self.contents.by_key.get(key_of_rooms(rooms))
        # Every item must hold all the formats of its kind, not only the one
        # that tells which content it is. clipdock writes them one after
        # another, each a whole room, so until the last is there the file is
        # still being written: it is not yet that content, and a file that
        # stays so is reported by describe_unknown when the wait ends.
        if content is None or sorted(base for base, _ in rooms) != KIND_FORMATS[content.kind]:
            return None
        self.known[name] = content
        return content

    def history(self):
        """The contents in slot order, None for a file not (yet) readable
        as one of the contents; None for a state being written."""
        names = self.names()
        if names is None:
            return None
        for name in list(self.known):
            if name not in names:
                del self.known[name]
        return [self.identify(name) for name in names]


def expected_after(model, content):
    return ([content] + [c for c in model if c is not content])[:HISTORY]


def burst_outcome(history, burst, model):
    """The burst contents that lead the history and the rest, when the
    history is the one from before with them in front (or with its oldest
    items lost, which the caller reports); None for a history in between."""
    if history is None or None in history or len(set(history)) != len(history):
        return None
    prefix = []
    while len(prefix) < len(history) and history[len(prefix)] in burst:
        prefix.append(history[len(prefix)])
    rest = history[len(prefix):]
    before = [c for c in model if c not in prefix][:HISTORY - len(prefix)]
    if rest != before[:len(rest)]:
        return None
    return prefix, before


def idents(history):
    return ' '.join('#%d' % c.ident if c is not None else '?' for c in history)


def describe_file(path):
    """What an item file that matches no content holds, for the log."""
    rooms = read_rooms(path)
    if rooms is None:
        return '%s: not a whole item file (%s bytes)' % (
            os.path.basename(path), os.path.getsize(path) if os.path.exists(path) else 'no')
    content = key_of_rooms(rooms)
    kind = ' (formats of %s: %s)' % (content[0], KIND_FORMATS[content[0]]) if content else ''
    return '%s: %s%s' % (os.path.basename(path), ', '.join(
        'format 0x%x %d bytes %r' % (base, len(data), data[:320]) for base, data in rooms), kind)


def describe_unknown(collection):
    names = collection.names() or []
    return '; '.join(describe_file(collection.path(n)) for n in names
                     if collection.identify(n) is None)


# ----------------------------------------------------------------- figures

def memory_figures(pid):
    figures = {}
    with open('/proc/%d/status' % pid) as status:
        for line in status:
            name, _, value = line.partition(':')
            if name in ('VmRSS', 'RssAnon'):
                figures[name] = int(value.split()[0])
    with open('/proc/%d/smaps_rollup' % pid) as rollup:
        for line in rollup:
            name, _, value = line.partition(':')
            if name == 'Private_Dirty':
                figures[name] = int(value.split()[0])
    # Wine keeps a Unix descriptor for each open file handle of the process.
    figures['fds'] = len(os.listdir('/proc/%d/fd' % pid))
    return figures


# The kind field of a GDI handle table entry.
GDI_KINDS = {0x01: 'dc', 0x04: 'region', 0x05: 'bitmap', 0x08: 'palette', 0x0a: 'font',
             0x10: 'brush', 0x21: 'metafile-dc', 0x30: 'pen', 0x50: 'extpen'}

NB_USER_HANDLES = 0x7fe8     # user handles 0x20 .. 0xffef, one per even value
FIRST_USER_HANDLE = 0x20
USER_KINDS = {1: 'window', 2: 'menu', 3: 'icon', 4: 'winpos', 8: 'accelerator', 0x0f: 'hook',
              0x11: 'input-context'}


def user_objects(pid, windows):
    """The program's USER objects, from the table in which the platform's
    window library (win32u.so) keeps a pointer to each object the process
    owns, indexed by handle. Each object begins with its own handle, whose
    low word gives its index: that signature locates the table in the
    library's data and checks every entry; the windows soaktool found must
    be exactly the table's windows."""
    ranges = []
    with open('/proc/%d/maps' % pid) as maps:
        for line in maps:
            fields = line.split()
            start, end = (int(x, 16) for x in fields[0].split('-'))
            ranges.append((start, end, fields[1], fields[5] if len(fields) > 5 else ''))
    segments = []
    for i, (start, end, perms, path) in enumerate(ranges):
        if path.endswith('/win32u.so') and perms.startswith('rw'):
            segments.append((start, end))
            if i + 1 < len(ranges) and ranges[i + 1][3] == '' and ranges[i + 1][0] == end:
                segments.append(ranges[i + 1][:2])
    if not segments:
        return None, 'no win32u.so data in the process'

    def readable(address):
        return any(s <= address < e and p[0] == 'r' for s, e, p, _ in ranges)

    with open('/proc/%d/mem' % pid, 'rb', buffering=0) as mem:
        def read(address, size):
            try:
                mem.seek(address)
                return mem.read(size)
            except (OSError, ValueError, OverflowError):
                return b''

        def header(pointer):
            if pointer < 0x10000 or not readable(pointer):
                return None
            data = read(pointer, 12)
            return struct.unpack('<QI', data) if len(data) == 12 else None

        votes = collections.Counter()
        images = {}
        for start, end in segments:
            data = read(start, end - start)
            images[start] = data
            for offset in range(0, len(data) - 7, 8):
                found = header(struct.unpack_from('<Q', data, offset)[0])
                if found is None:
                    continue
                handle, kind = found
                low = handle & 0xffff
                if handle >> 32 or low < FIRST_USER_HANDLE or low & 1 or not 0 < kind <= 0x20:
                    continue
                votes[start + offset - 8 * ((low - FIRST_USER_HANDLE) // 2)] += 1
        if not votes:
            return None, 'no user handle table found'
        base = votes.most_common(1)[0][0]
        table = b''
        for start, end in segments:
            if start <= base < end:
                table = images[start][base - start:base - start + 8 * NB_USER_HANDLES]
        kinds = collections.Counter()
        table_windows = set()
        for index in range(len(table) // 8):
            pointer = struct.unpack_from('<Q', table, 8 * index)[0]
            if pointer == 0:
                continue
            found = header(pointer)
            if found is None or found[0] & 0xffff != FIRST_USER_HANDLE + 2 * index:
                return None, 'entry %d of the table at 0x%x does not name itself' % (index, base)
            kinds[USER_KINDS.get(found[1], 'kind-%d' % found[1])] += 1
            if found[1] == 1:
                table_windows.add(found[0])
    if table_windows != set(windows):
        return None, 'the table\'s windows %s are not the program\'s %s' % (
            sorted(map(hex, table_windows)), sorted(map(hex, windows)))
    return kinds, None


class Measure:
    def __init__(self, desktop, pid, control):
        self.desktop = desktop
        self.pid = pid
        self.control = control

    def take(self):
        with open('/proc/%d/cmdline' % self.pid, 'rb') as cmdline:
            if b'clipdock.exe' not in cmdline.read():
                return None, 'process %d is not clipdock.exe' % self.pid
        figures = {'memory': memory_figures(self.pid), 'control': memory_figures(self.control)}
        code, out = self.desktop.tool('objects')
        if code != 0:
            return None, 'soaktool objects failed: ' + out.strip()
        windows = []
        for line in out.splitlines():
            fields = line.split()
            if fields[:1] == ['gdi']:
                figures['gdi'] = int(fields[1])
            elif fields[:1] == ['gdi-kind']:
                kind = GDI_KINDS.get(int(fields[1], 16), fields[1])
                figures.setdefault('gdi-kinds', {})[kind] = int(fields[2])
            elif fields[:1] == ['window']:
                windows.append(int(fields[1], 16))
            elif fields[:1] == ['panel-visible']:
                figures['panel-visible'] = fields[1] == '1'
        error = None
        for _ in range(3):  # the table may change while it is read
            kinds, error = user_objects(self.pid, windows)
            if kinds is not None:
                figures['user'] = sum(kinds.values())
                figures['user-kinds'] = dict(kinds)
                return figures, None
        return None, 'USER objects could not be counted: ' + error


def show(name, figures):
    memory = figures['memory']
    note('%s: GDI objects %d %s, USER objects %d %s, open descriptors %d, '
         'RssAnon %d KB, Private_Dirty %d KB, VmRSS %d KB' % (
             name, figures['gdi'], figures.get('gdi-kinds'), figures['user'],
             figures.get('user-kinds'), memory['fds'], memory['RssAnon'],
             memory['Private_Dirty'], memory['VmRSS']))


# -------------------------------------------------------------- the checks

def check_items(desktop, collection, folder_windows, model):
    """Every file in the folder is named in the state, every name is an item
    file the library reads whole, and each slot holds its model content."""
    names = collection.names()
    if names is None:
        fail('the saved state cannot be read')
        return
    files = sorted(os.listdir(collection.folder))
    note('item folder: %d files, state names %d' % (len(files), len(names)))
    if len(files) > HISTORY:
        fail('%d files in the item folder, more than %d' % (len(files), HISTORY))
    if len(set(n.lower() for n in names)) != len(names):
        fail('a name is listed twice in the state: %s' % names)
    listed = set(name.lstrip('\\').lower() for name in names)
    strays = [f for f in files if f.lower() not in listed]
    if strays:
        fail('files in the item folder that the state does not name: %s' % strays)
    dumps = os.path.join(desktop.work, 'dumps')
    os.makedirs(dumps, exist_ok=True)
    code, out = desktop.tool('items', folder_windows, 'Z:' + dumps.replace('/', '\\'), *names)
    entries = collections.defaultdict(list)
    for line in out.splitlines():
        fields = line.split(' ', 5)
        if fields[0] == 'item' and fields[2] != 'entries':
            fail('item file %s: %s' % (names[int(fields[1])], ' '.join(fields[2:])))
        elif fields[0] == 'entry':
            entries[int(fields[1])].append((int(fields[3], 16), fields[5] if len(fields) > 5 else '',
                                            os.path.join(dumps, '%s.%s.bin' % (fields[1], fields[2]))))
    if code != 0:
        fail('soaktool items: %s' % out.strip().splitlines()[-1:])
    if len(names) != len(model):
        fail('%d items stored, the model has %d' % (len(names), len(model)))
    for slot, (name, content) in enumerate(zip(names, model)):
        problem = compare_entries(content, entries.get(slot, []))
        if problem:
            fail('slot %d (%s) should hold %s: %s' % (slot, name, content.describe(), problem))


def compare_entries(content, entries):
    def data(path):
        with open(path, 'rb') as dump:
            return dump.read()
    formats = sorted((fmt, name) for fmt, name, _ in entries)
    found = {(fmt, name): data(path) for fmt, name, path in entries}
    if content.kind == 'text':
        want = [(CF_TEXT, ''), (CF_OEMTEXT, ''), (CF_UNICODETEXT, ''), (CF_LOCALE, '')]
        if formats != want:
            return 'formats %s, expected %s' % (formats, want)
        windows_text = content.detail.replace('\n', '\r\n') + '\0'
        if found[(CF_UNICODETEXT, '')] != windows_text.encode('utf-16-le'):
            return 'CF_UNICODETEXT differs (%d bytes)' % len(found[(CF_UNICODETEXT, '')])
        for fmt in (CF_TEXT, CF_OEMTEXT):
            if found[(fmt, '')] != windows_text.encode('ascii'):
                return 'format %d differs (%d bytes)' % (fmt, len(found[(fmt, '')]))
        if len(found[(CF_LOCALE, '')]) != 4:
            return 'CF_LOCALE of %d bytes' % len(found[(CF_LOCALE, '')])
    elif content.kind == 'html':
        if formats != [(NAMED, 'HTML Format')]:
            return 'formats %s' % formats
        stored = found[(NAMED, 'HTML Format')]
        if not stored.startswith(b'Version:') or html_fragment(stored) != content.detail:
            return 'the HTML fragment differs'
    elif content.kind == 'png':
        if formats != [(NAMED, 'PNG')]:
            return 'formats %s' % formats
        if found[(NAMED, 'PNG')] != content.payload:
            return 'the PNG bytes differ'
    else:
        if formats != [(CF_DIB, '')]:
            return 'formats %s' % formats
        if dib_key(found[(CF_DIB, '')]) != content.key[1]:
            return 'the CF_DIB pixels differ'
    return None


# ----------------------------------------------------------------- the run

def plan_changes(rng, contents, count):
    """The changes in order: ('new', content), ('repeat', None) chosen at
    run time from the model, or ('burst', [contents])."""
    plan = []
    # The largest contents come early, so that the memory measured after the
    # first hundred changes already holds the largest buffers of the run.
    early = [contents.add('text', 'huge'), contents.add('bmp', 160), contents.add('png', 96),
             contents.add('text', 'large')]
    burst_starts = set(rng.sample(range(BASELINE_AT + 50, count - 50, BURST_LENGTH + 3), BURSTS))
    position = 0
    while position < count:
        if position == BASELINE_AT - 1 or position == count - 1:
            plan.append(('new', contents.add('text', 'tiny')))
        elif position in burst_starts:
            # One kind a burst: Wine fetches the data of an announced change
            # from whoever owns the X clipboard by then, and xclip serves its
            # data for any type asked, so a change overtaken by the next one
            # may be stored with the next one's data, which is then at least
            # a content of the same kind. The change after a burst is of the
            # same kind for the same reason.
            kind = rng.choice(('text', 'html', 'png', 'bmp'))
            plan.append(('burst', [contents.add_small(kind) for _ in range(BURST_LENGTH)]))
            plan.append(('new', contents.add_small(kind)))
            position += BURST_LENGTH + 1
            continue
        elif early and position >= 10 and position % 15 == 0:
            plan.append(('new', early.pop(0)))
        elif position > 3 and rng.random() < 0.25:
            plan.append(('repeat', None))
        else:
            plan.append(('new', contents.add_random()))
        position += 1
    return plan


def choose_repeat(rng, model, used):
    """A repeat of a stored item (often a recent one, sometimes the newest)
    or, now and then, of a content that has fallen out of the history."""
    r = rng.random()
    stored = [c for c in model if c is not None]
    older = [c for c in used if c not in stored]
    if r < 0.1 or len(stored) < 2:
        return stored[0]
    if r < 0.5:
        return rng.choice(stored[1:6])
    if r < 0.8 or not older:
        return rng.choice(stored)
    return rng.choice(older)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('source')
    parser.add_argument('state')
    parser.add_argument('bin')
    parser.add_argument('--changes', type=int, default=2000)
    parser.add_argument('--seed', type=int, default=20061)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix='clipdock-soak-')
    desktop = Desktop(args.source, args.state, args.bin, work)
    if 'DISPLAY' not in desktop.env:
        print('no test display (wine_env_start did not run)')
        return 1
    try:
        return run(args, desktop, work)
    finally:
        desktop.stop_all()
        shutil.rmtree(work, ignore_errors=True)


def run(args, desktop, work):
    rng = random.Random(args.seed)
    contents = Contents(rng, work)
    code, out = desktop.tool('paths')
    windows_paths = out.splitlines()
    if code != 0 or len(windows_paths) < 2:
        fail('soaktool paths failed')
        return 1
    folder = desktop.unix_path(windows_paths[0])
    ini = desktop.unix_path(windows_paths[1])
    if not folder or not ini:
        fail('cannot find the item folder and the settings file')
        return 1
    shutil.rmtree(folder, ignore_errors=True)
    if os.path.exists(ini):
        os.remove(ini)
    collection = Collection(folder, ini, contents)

    # A known content on the clipboard before the start: the program's first
    # capture, made while it joins the chain, is this one.
    first = contents.add('text', text='soak start %d' % os.getpid())
    desktop.put(first)
    code, _ = desktop.tool('wait-text', str(int(CHANGE_DEADLINE * 1000)), first.detail)
    if code != 0:
        fail('Wine did not take the first content from the X clipboard')
        return 1
    program = desktop.start([WINE, 'clipdock.exe'], cwd=desktop.bin, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    model = [first]
    deadline = time.monotonic() + CHANGE_DEADLINE
    while collection.history() != model:
        if time.monotonic() > deadline or program.poll() is not None:
            fail('the content at start was not captured (history %s) %s' % (
                collection.history(), describe_unknown(collection)))
            return 1
        time.sleep(0.05)
    # The viewer joins after clipdock, so it is told first and hands each
    # notification on to clipdock; joining brings one notification at once.
    viewer = Viewer(desktop)
    if not viewer.wait(lambda: viewer.joined and viewer.draws > 0, CHANGE_DEADLINE):
        fail('the test viewer did not join the clipboard chain')
        return 1
    code, out = desktop.tool('show-panel', '10000')
    if code != 0:
        fail('the tray click did not show the panel')
        return 1
    measure = Measure(desktop, program.pid, viewer.process.pid)

    plan = plan_changes(rng, contents, args.changes)
    known_losses = []
    other_mismatches = 0
    latencies = collections.defaultdict(list)
    burst_captured = []
    baseline = None
    changes = 0
    used, used_set = [first], {first}
    pending_burst = []
    bursts_without_last = 0
    memory_series = []
    next_mark = BASELINE_AT
    scroll_codes = [1, 1, 3, 0, 7, 2, 6, 1, 3, 3]  # line/page down, line up, bottom, page up, top
    started = time.monotonic()

    for step, (kind, payload) in enumerate(plan):
        if program.poll() is not None:
            fail('clipdock ended during the run (exit code %s) after %d changes' % (
                program.returncode, changes))
            break
        # Keep the panel busy between changes: scroll its list, move the
        # pointer over it.
        if step % 20 == 10:
            desktop.tool('scroll', str(scroll_codes[(step // 20) % len(scroll_codes)]))
        elif step % 20 == 0:
            subprocess.run(['xdotool', 'mousemove', '1170', str(300 + (step // 20) % 2 * 300)],
                           env=desktop.env, capture_output=True, timeout=30)

        seq = viewer.seq
        t0 = time.monotonic()
        if kind == 'burst':
            owners = []
            for content in payload:
                owners.append(desktop.put(content, announce=True))
                used_set.add(content)
                used.append(content)
            changes += len(payload)
            # Every burst xclip but the last owner ends once it lost the clipboard.
            alive = lambda: [c for c, p in zip(payload, owners) if p.poll() is None]
            end = time.monotonic() + CHANGE_DEADLINE
            while len(alive()) > 1 and time.monotonic() < end:
                viewer.pause(0.02)
            last = alive()[-1:]
            # The burst is over once a notification came, no notification
            # followed for a while and the history is whole: each content
            # once, burst contents first, then the history from before.
            end = time.monotonic() + CHANGE_DEADLINE
            settled_draws, settled_at = viewer.draws, time.monotonic()
            while True:
                history = collection.history()
                now = time.monotonic()
                outcome = burst_outcome(history, payload, model)
                if viewer.draws != settled_draws:
                    settled_draws, settled_at = viewer.draws, now
                elif viewer.seq > seq and outcome and now - settled_at >= BURST_SETTLE:
                    break
                if now > end:
                    break
                viewer.pause(0.05)
            if not outcome:
                fail('burst at change %d did not settle: history [%s] %s' % (
                    changes, idents(history or []), describe_unknown(collection)))
                break
            prefix, rest = outcome
            if not prefix:
                fail('no content of the burst at change %d reached the history' % changes)
            burst_captured.append(len(prefix))
            if last and prefix[:1] != last:
                bursts_without_last += 1
            candidates = [prefix + rest]
            pending_burst = payload
            latencies['burst'].append(time.monotonic() - t0)
        else:
            content = payload if kind == 'new' else choose_repeat(rng, model, used)
            desktop.put(content)
            if content not in used_set:
                used_set.add(content)
                used.append(content)
            changes += 1
            if not viewer.wait(lambda: viewer.seq > seq, CHANGE_DEADLINE):
                fail('change %d (%s %s) reached no viewer within %d s' % (
                    changes, kind, content.describe(), CHANGE_DEADLINE))
                break
            candidates = [expected_after(model, content)]
            # A notification of the burst before may only now have been handled.
            candidates += [expected_after(expected_after(model, b), content)
                           for b in pending_burst if b not in model]
            pending_burst = []
        expected = candidates[0]

        # The saved history must now be the expected one.
        end = time.monotonic() + CHANGE_DEADLINE
        quiet_since, last_seen, last_draws = time.monotonic(), None, viewer.draws
        while True:
            history = collection.history()
            if history in candidates:
                break
            lost_tail = (history is not None and len(expected) == HISTORY and
                         0 < len(history) < HISTORY and history == expected[:len(history)])
            if lost_tail and (kind in ('repeat', 'burst') or plan[step - 1][0] == 'burst'):
                lost = expected[len(history):]
                known_losses.append((changes, kind, lost))
                if len(known_losses) <= 5:
                    fail('change %d (%s of %s): the full history lost its oldest item %s' % (
                        changes, kind, expected[0].describe(), idents(lost)))
                break
            now = time.monotonic()
            if history != last_seen or viewer.draws != last_draws:
                quiet_since, last_seen, last_draws = now, history, viewer.draws
            if now - quiet_since > QUIET_PERIOD or now > end:
                other_mismatches += 1
                fail('change %d (%s of %s): history is [%s], expected [%s]' % (
                    changes, kind, expected[0].describe(), idents(history or []),
                    idents(expected)))
                break
            viewer.pause(0.05)
        if kind != 'burst':
            latencies[content.kind if kind == 'new' else 'repeat'].append(time.monotonic() - t0)
        if history is None or None in history:
            fail('the history cannot be followed any further: ' + describe_unknown(collection))
            break
        model = history
        if other_mismatches >= 10:
            fail('too many differences, the run stops')
            break

        if changes >= next_mark:
            memory = memory_figures(program.pid)
            memory_series.append('%d: %d' % (changes, memory['RssAnon']))
            next_mark = (changes // 200 + 1) * 200
        if changes == BASELINE_AT:
            baseline, error = measure.take()
            if error:
                fail(error)
            else:
                show('after %d changes' % changes, baseline)

    elapsed = time.monotonic() - started
    note('%d changes in %.1f s: %.1f changes per second' % (changes, elapsed, changes / elapsed))
    for kind, times in sorted(latencies.items()):
        note('  %-7s %4d changes, mean %.0f ms, slowest %.0f ms' % (
            kind, len(times), 1000 * sum(times) / len(times), 1000 * max(times)))
    note('RssAnon in KB by changes made: ' + ', '.join(memory_series))
    if burst_captured:
        note('bursts of %d: %s distinct contents of each reached the history; in %d of them '
             'not the last one (Wine did not pass that change on)' % (
                 BURST_LENGTH, burst_captured, bursts_without_last))
    if known_losses:
        fail('%d repeated copies into a full history each lost the oldest item '
             '(the eviction happens before the duplicate is recognised)' % len(known_losses))
    if changes < args.changes:
        fail('only %d of %d changes were made' % (changes, args.changes))

    if program.poll() is not None:
        fail('clipdock is no longer running (exit code %s)' % program.returncode)
        return 1
    final, error = measure.take()
    if error:
        fail(error)
    else:
        show('after %d changes' % changes, final)
        if not final.get('panel-visible'):
            fail('the panel is not shown at the end')
        if baseline:
            for name, margin in (('gdi', GDI_MARGIN), ('user', USER_MARGIN)):
                if final[name] > baseline[name] + margin:
                    fail('%s objects grew from %d to %d' % (name.upper(), baseline[name], final[name]))
            # The viewer reads every text first, so the memory Wine 8.0
            # keeps for each text it converts for a first reader is the
            # viewer's; what clipdock grows is its own.
            for name in ('RssAnon', 'Private_Dirty'):
                grown = final['memory'][name] - baseline['memory'][name]
                note('%s: clipdock %d KB -> %d KB (%+d KB); the viewer that reads each text '
                     'first %d KB -> %d KB' % (
                         name, baseline['memory'][name], final['memory'][name], grown,
                         baseline['control'][name], final['control'][name]))
                if grown > MEMORY_MARGIN_KB:
                    fail('clipdock\'s %s grew by %d KB' % (name, grown))
            if final['memory']['fds'] > baseline['memory']['fds'] + FD_MARGIN:
                fail('open descriptors grew from %d to %d' % (baseline['memory']['fds'],
                                                               final['memory']['fds']))

    check_items(desktop, collection, windows_paths[0], model)

    code, _ = desktop.tool('exit')
    if code != 0:
        fail('could not send Exit')
    try:
        status = program.wait(30)
        if status != 0:
            fail('clipdock ended with exit code %d after Exit' % status)
        else:
            note('Exit ended clipdock with code 0')
    except subprocess.TimeoutExpired:
        fail('clipdock still runs 30 s after Exit')

    note('%d failure(s)' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
