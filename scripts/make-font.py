#!/usr/bin/env python3
"""make-font.py [OUT.png]

Draws the example's font, a proportional font of 9-pixel glyphs for the
codes 32 to 126 and a substitute box, as the indexed picture of glyph cells
that `spritetool font` reads (default: examples/scene/art/font.png). The
glyphs are written out below, one row of pixels a line ('#' drawn, '.'
clear); the cells are laid out 16 a row, each as wide as the widest glyph
but the space's, which is its own width, between grid lines of one pixel.
The picture has the colours of examples/scene/art/palette.png: the glyphs
in its white (223), the grid in a purple (244), and the clear pixels in 255,
which its transparency chunk makes transparent.

Only Python's standard library is used; the picture is committed, and this
is run again only to change the font.
"""
import os
import struct
import sys
import zlib

INK, GRID, CLEAR = 223, 244, 255
HEIGHT = 9        # rows 0-6 capitals, 2-6 the small letters, 7-8 descenders
COLUMNS = 16
SPACE_WIDTH = 3

# Each glyph: its character, then HEIGHT rows (rows left out at the bottom are clear).
GLYPHS = r"""
! # # # # # . #
" #.# #.#
# .#.#. .#.#. ##### .#.#. ##### .#.#. .#.#.
$ ..#.. .#### #.#.. .###. ..#.# ####. ..#..
% ##... ##..# ...#. ..#.. .#... #..## ...##
& .##.. #..#. #.#.. .#... #.#.# #..#. .##.#
' # #
( ..# .#. #.. #.. #.. .#. ..#
) #.. .#. ..# ..# ..# .#. #..
* ..... ..#.. #.#.# .###. #.#.# ..#.. .....
+ ..... ..#.. ..#.. ##### ..#.. ..#.. .....
, .. .. .. .. .. .# .# #.
- .... .... .... ####
. . . . . . . #
/ ....# ....# ...#. ..#.. .#... #.... #....
0 .###. #...# #..## #.#.# ##..# #...# .###.
1 .#. ##. .#. .#. .#. .#. ###
2 .###. #...# ....# ...#. ..#.. .#... #####
3 ##### ...#. ..#.. ...#. ....# #...# .###.
4 ...#. ..##. .#.#. #..#. ##### ...#. ...#.
5 ##### #.... ####. ....# ....# #...# .###.
6 ..##. .#... #.... ####. #...# #...# .###.
7 ##### ....# ...#. ..#.. .#... .#... .#...
8 .###. #...# #...# .###. #...# #...# .###.
9 .###. #...# #...# .#### ....# ...#. .##..
: . . # . . # .
; .. .. .# .. .. .# .# #.
< ...# ..#. .#.. #... .#.. ..#. ...#
= .... .... #### .... ####
> #... .#.. ..#. ...# ..#. .#.. #...
? .###. #...# ....# ...#. ..#.. ..... ..#..
@ .###. #...# #.### #.#.# #.### #.... .###.
A .###. #...# #...# ##### #...# #...# #...#
B ####. #...# #...# ####. #...# #...# ####.
C .###. #...# #.... #.... #.... #...# .###.
D ###.. #..#. #...# #...# #...# #..#. ###..
E ##### #.... #.... ####. #.... #.... #####
F ##### #.... #.... ####. #.... #.... #....
G .###. #...# #.... #.### #...# #...# .####
H #...# #...# #...# ##### #...# #...# #...#
I ### .#. .#. .#. .#. .#. ###
J ..### ...#. ...#. ...#. ...#. #..#. .##..
K #...# #..#. #.#.. ##... #.#.. #..#. #...#
L #.... #.... #.... #.... #.... #.... #####
M #...# ##.## #.#.# #.#.# #...# #...# #...#
N #...# #...# ##..# #.#.# #..## #...# #...#
O .###. #...# #...# #...# #...# #...# .###.
P ####. #...# #...# ####. #.... #.... #....
Q .###. #...# #...# #...# #.#.# #..#. .##.#
R ####. #...# #...# ####. #.#.. #..#. #...#
S .#### #.... #.... .###. ....# ....# ####.
T ##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#..
U #...# #...# #...# #...# #...# #...# .###.
V #...# #...# #...# #...# #...# .#.#. ..#..
W #...# #...# #...# #.#.# #.#.# #.#.# .#.#.
X #...# #...# .#.#. ..#.. .#.#. #...# #...#
Y #...# #...# .#.#. ..#.. ..#.. ..#.. ..#..
Z ##### ....# ...#. ..#.. .#... #.... #####
[ ### #.. #.. #.. #.. #.. ###
\ #.... #.... .#... ..#.. ...#. ....# ....#
] ### ..# ..# ..# ..# ..# ###
^ ..#.. .#.#. #...#
_ ..... ..... ..... ..... ..... ..... ..... #####
` #. .#
a ..... ..... .###. ....# .#### #...# .####
b #.... #.... #.##. ##..# #...# #...# ####.
c .... .... .### #... #... #... .###
d ....# ....# .##.# #..## #...# #...# .####
e ..... ..... .###. #...# ##### #.... .###.
f ..## .#.. #### .#.. .#.. .#.. .#..
g ..... ..... .#### #...# #...# #...# .#### ....# .###.
h #.... #.... #.##. ##..# #...# #...# #...#
i # . # # # # #
j ..# ... ..# ..# ..# ..# ..# #.# .#.
k #... #... #..# #.#. ##.. #.#. #..#
l #. #. #. #. #. #. .#
m ..... ..... ##.#. #.#.# #.#.# #.#.# #.#.#
n ..... ..... #.##. ##..# #...# #...# #...#
o ..... ..... .###. #...# #...# #...# .###.
p ..... ..... ####. #...# #...# #...# ####. #.... #....
q ..... ..... .#### #...# #...# #...# .#### ....# ....#
r .... .... #.## ##.. #... #... #...
s ..... ..... .#### #.... .###. ....# ####.
t .#.. .#.. #### .#.. .#.. .#.. ..##
u ..... ..... #...# #...# #...# #..## .##.#
v ..... ..... #...# #...# #...# .#.#. ..#..
w ..... ..... #...# #...# #.#.# #.#.# .#.#.
x ..... ..... #...# .#.#. ..#.. .#.#. #...#
y ..... ..... #...# #...# #...# #...# .#### ....# .###.
z ..... ..... ##### ...#. ..#.. .#... #####
{ ..# .#. .#. #.. .#. .#. ..#
| # # # # # # # #
} #.. .#. .#. ..# .#. .#. #..
~ ..... ..... .#... #.#.# ...#.
SUBSTITUTE ##### #...# #...# #...# #...# #...# #####
"""


def glyph_table():
    glyphs = {" ": ["." * SPACE_WIDTH] * HEIGHT}
    for line in GLYPHS.strip().splitlines():
        name, *rows = line.split()
        width = len(rows[0])
        assert all(len(r) == width for r in rows), name
        assert len(rows) <= HEIGHT, name
        glyphs[name] = rows + ["." * width] * (HEIGHT - len(rows))
    codes = [chr(c) for c in range(32, 127)]
    missing = [c for c in codes if c not in glyphs]
    assert not missing, missing
    return [glyphs[c] for c in codes] + [glyphs["SUBSTITUTE"]]


def chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def read_palette(path):
    data = open(path, "rb").read()
    at = 8
    while at < len(data):
        size, = struct.unpack(">I", data[at:at + 4])
        if data[at + 4:at + 8] == b"PLTE":
            return data[at + 8:at + 8 + size]
        at += 12 + size
    raise SystemExit(f"make-font: no palette in {path}")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples/scene/art/font.png")
    palette = read_palette(os.path.join(root, "examples/scene/art/palette.png"))
    glyphs = glyph_table()
    cell = max(len(g[0]) for g in glyphs[1:])
    widths = [len(g[0]) if i == 0 else cell for i, g in enumerate(glyphs)]
    rows = [list(range(i, min(i + COLUMNS, len(glyphs)))) for i in range(0, len(glyphs), COLUMNS)]
    width = max(1 + sum(widths[i] + 1 for i in row) for row in rows)
    height = 1 + len(rows) * (HEIGHT + 1)
    pixels = [[GRID] * width for _ in range(height)]
    for r, row in enumerate(rows):
        x = 1
        for i in row:
            for y in range(HEIGHT):
                for c in range(widths[i]):
                    drawn = c < len(glyphs[i][y]) and glyphs[i][y][c] == "#"
                    pixels[1 + r * (HEIGHT + 1) + y][x + c] = INK if drawn else CLEAR
            x += widths[i] + 1
    raw = b"".join(b"\0" + bytes(line) for line in pixels)
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)) +
           chunk(b"PLTE", palette) +
           chunk(b"tRNS", bytes([255] * CLEAR + [0])) +
           chunk(b"IDAT", zlib.compress(raw, 9)) +
           chunk(b"IEND", b""))
    with open(out, "wb") as f:
        f.write(png)
    print(f"make-font: {out}: {len(glyphs) - 1} glyphs and the substitute, "
          f"{width} x {height} pixels")


main()
