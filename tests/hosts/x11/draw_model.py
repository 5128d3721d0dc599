#!/usr/bin/env python3
"""The graphing control's point editing, written out independently for the
viewer's X11 test: replays the gestures the test sent with xdotool and
compares the events the viewer logged and the points and line array it saved
with what the editing rules give; compares the snapshot with the curve tool's
picture pixel by pixel.

    draw_model.py check GESTURES EVENTS POINTS_IN POINTS_OUT LINE_OUT W H
    draw_model.py compare-png A.png B.png
"""
import struct
import sys
import zlib


def f32(v):
    return struct.unpack('<f', struct.pack('<f', v))[0]


class Model:
    """Scales hidden: the plot is the whole control, w x h pixels."""

    def __init__(self, points, w, h, neutral=0.0):
        self.x_min, self.x_max, self.y_min, self.y_max = 0.0, 22050.0, -20.0, 20.0
        self.w, self.h = w, h
        self.points = [list(p) for p in points]
        self.events = []
        self.drag = -1
        self.dragging = False
        self.neutral = neutral

    def to_pixel(self, p):
        px = int((p[0] - self.x_min) * self.w / (self.x_max - self.x_min))
        py = int((self.y_max - p[1]) * self.h / (self.y_max - self.y_min))
        return px, py

    def to_scale(self, px, py):
        return (f32((self.x_max - self.x_min) * px / self.w + self.x_min),
                f32(self.y_max - (self.y_max - self.y_min) * py / self.h))

    def hit(self, px, py):
        for i, p in enumerate(self.points):
            qx, qy = self.to_pixel(p)
            if qx - 3 <= px < qx + 3 and qy - 3 <= py < qy + 3:
                return i
        return -1

    def clamp_y(self, y):
        return f32(self.y_max) if y > self.y_max else (f32(self.y_min) if y < self.y_min else y)

    def add(self, x, y):
        x = f32(self.x_min) if x < self.x_min else (f32(self.x_max) if x > self.x_max else x)
        at = 0
        while at < len(self.points) and self.points[at][0] <= x:
            at += 1
        self.points.insert(at, [x, self.clamp_y(y)])
        return at

    def move_point(self, i, x, y):
        if not 0 <= i < len(self.points):
            return
        self.points[i][1] = self.clamp_y(y)
        if i in (0, len(self.points) - 1):
            return
        x = min(max(x, f32(self.x_min)), f32(self.x_max))
        x = max(x, self.points[i - 1][0])
        x = min(x, self.points[i + 1][0])
        self.points[i][0] = x

    def down(self, x, y):
        self.drag = self.hit(x, y)
        self.dragging = True
        if self.drag == -1:
            if len(self.points) < 150:
                self.drag = self.add(*self.to_scale(x, y))
            else:
                self.dragging = False
        self.events.append(f'MouseDown {x} {y}')

    def move(self, x, y):
        if self.dragging:
            self.move_point(self.drag, *self.to_scale(x, y))
            outside = x < -10 or x > self.w + 10 or y < -10 or y > self.h + 10
            if outside and self.drag not in (0, len(self.points) - 1):
                del self.points[self.drag]
                self.dragging = False
        self.events.append(f'MouseMove {x} {y}')

    def up(self, x, y):
        if self.dragging:
            self.move_point(self.drag, *self.to_scale(x, y))
        self.dragging = False
        self.events += [f'MouseUp {x} {y}', f'MouseClick {x} {y}']

    def double_click(self, x, y):
        # As the window system delivers it: down, up, double click, up.
        self.down(x, y)
        self.up(x, y)
        self.events.append('MouseDblClick')
        i = self.hit(x, y)
        if i != -1:
            self.events.append(f'ResetPoint {i}')
            # The viewer answers by putting the point back to the neutral level.
            self.move_point(i, self.points[i][0], f32(self.neutral))
        self.up(x, y)


def read_pairs(path):
    values = []
    with open(path) as f:
        for line in f:
            line = line.split('#')[0].replace(',', ' ').replace(';', ' ')
            words = line.split()
            if not words:
                continue
            try:
                values += [f32(float(w)) for w in words]
            except ValueError:
                continue  # the header
    return [values[k:k + 2] for k in range(0, len(values) - 1, 2)]


def check(gestures, events_path, points_in, points_out, line_out, w, h):
    model = Model(read_pairs(points_in), w, h)
    with open(gestures) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            x, y = int(words[1]), int(words[2])
            {'move': model.move, 'down': model.down, 'up': model.up, 'double': model.double_click}[words[0]](x, y)
    with open(events_path) as f:
        logged = []
        where = None
        for line in (l.strip() for l in f):
            if not line:
                continue
            words = line.split()
            # A window system reports the pointer again where it already is
            # (after a capture ends, on entering); the control passes on what it
            # is given, and such a move changes no point.
            if words[0] == 'MouseMove' and words[1:] == where:
                continue
            if len(words) == 3:
                where = words[1:]
            logged.append(line)
    failures = 0
    if logged != model.events:
        failures += 1
        print('FAIL events differ')
        for k in range(max(len(logged), len(model.events))):
            a = logged[k] if k < len(logged) else '-'
            b = model.events[k] if k < len(model.events) else '-'
            print(f'  {"  " if a == b else "!="} logged {a:<24} model {b}')
    saved = read_pairs(points_out)
    if saved != model.points:
        failures += 1
        print(f'FAIL points: saved {saved}, model {model.points}')
    with open(line_out) as f:
        line = [f32(float(v)) for v in f.read().split()]
    if len(line) != 1024:
        failures += 1
        print(f'FAIL line array of {len(line)} values, not 1024')
    print(f'{len(model.events)} events, {len(saved)} points checked; {failures} failure(s)')
    return failures


def decode_png(path):
    with open(path, 'rb') as f:
        data = f.read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', path
    pos, idat, width, height = 8, b'', 0, 0
    while pos < len(data):
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and colour == 2, f'{path}: not 8-bit RGB'
        elif kind == b'IDAT':
            idat += body
        pos += 12 + size
    raw = zlib.decompress(idat)
    stride = 3 * width
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + b) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else (b if pb <= pc else c))) & 0xFF
        rows.append(bytes(row))
        prev = row
    return width, height, rows


def compare_png(a, b):
    wa, ha, ra = decode_png(a)
    wb, hb, rb = decode_png(b)
    if (wa, ha) != (wb, hb):
        print(f'FAIL sizes differ: {wa}x{ha} and {wb}x{hb}')
        return 1
    differing = sum(1 for y in range(ha) for x in range(wa) if ra[y][3 * x:3 * x + 3] != rb[y][3 * x:3 * x + 3])
    if differing:
        print(f'FAIL {differing} of {wa * ha} pixels differ')
        return 1
    print(f'pictures identical ({wa}x{ha})')
    return 0


if __name__ == '__main__':
    if sys.argv[1] == 'check':
        sys.exit(1 if check(*sys.argv[2:7], int(sys.argv[7]), int(sys.argv[8])) else 0)
    if sys.argv[1] == 'compare-png':
        sys.exit(compare_png(sys.argv[2], sys.argv[3]))
    sys.exit(2)
