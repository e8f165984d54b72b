#!/usr/bin/env python3
"""Draws the program's icon set: one SVG per picture number into ui/icons/.

Every picture is built from the same few shapes on a 32 x 32 grid with strokes of 2.5 units,
so the set keeps one look and stays legible at 16 pixels. Apparatus follow the single-line
diagram conventions: a breaker is a square, a disconnector a blade, an earthing switch a blade
with the earth mark; switched on is red, switched off is green.
"""
import os
import sys

RED = "#c62828"
GREEN = "#2e7d32"
DARK = "#263238"
BLUE = "#1565c0"
AMBER = "#f9a825"
GREY = "#90a4ae"
WHITE = "#ffffff"
ORANGE = "#ef6c00"
PAPER = "#eceff1"

GREYS = {RED: "#9e9e9e", GREEN: "#a5a5a5", DARK: "#9e9e9e", BLUE: "#a0a0a0", AMBER: "#c4c4c4",
         GREY: "#c8c8c8", ORANGE: "#b0b0b0", PAPER: "#f0f0f0", WHITE: WHITE}

SW = 2.5


class Pic:
    def __init__(self, grey=False):
        self.items = []
        self.grey = grey

    def c(self, colour):
        return GREYS.get(colour, "#a0a0a0") if self.grey else colour

    def add(self, text):
        self.items.append(text)
        return self

    def line(self, x1, y1, x2, y2, colour=DARK, width=SW):
        return self.add(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{self.c(colour)}" '
                        f'stroke-width="{width}" stroke-linecap="round"/>')

    def poly(self, points, colour=DARK, fill="none", width=SW, closed=False):
        tag = "polygon" if closed else "polyline"
        pts = " ".join(f"{x},{y}" for x, y in points)
        f = self.c(fill) if fill != "none" else "none"
        return self.add(f'<{tag} points="{pts}" fill="{f}" stroke="{self.c(colour)}" '
                        f'stroke-width="{width}" stroke-linejoin="round" stroke-linecap="round"/>')

    def rect(self, x, y, w, h, colour=DARK, fill="none", width=SW, r=0):
        f = self.c(fill) if fill != "none" else "none"
        s = f'stroke="{self.c(colour)}" stroke-width="{width}"' if colour else 'stroke="none"'
        return self.add(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{f}" {s}/>')

    def circle(self, cx, cy, r, colour=DARK, fill="none", width=SW):
        f = self.c(fill) if fill != "none" else "none"
        s = f'stroke="{self.c(colour)}" stroke-width="{width}"' if colour else 'stroke="none"'
        return self.add(f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{f}" {s}/>')

    def path(self, d, colour=DARK, fill="none", width=SW):
        f = self.c(fill) if fill != "none" else "none"
        s = f'stroke="{self.c(colour)}" stroke-width="{width}"' if colour else 'stroke="none"'
        return self.add(f'<path d="{d}" fill="{f}" {s} stroke-linecap="round" '
                        f'stroke-linejoin="round"/>')

    def text(self, x, y, t, colour=DARK, size=14, weight="bold"):
        return self.add(f'<text x="{x}" y="{y}" font-family="DejaVu Sans, sans-serif" '
                        f'font-size="{size}" font-weight="{weight}" text-anchor="middle" '
                        f'fill="{self.c(colour)}">{t}</text>')

    def svg(self):
        body = "\n  ".join(self.items)
        return ('<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" '
                f'viewBox="0 0 32 32">\n  {body}\n</svg>\n')


# ---- Apparatus and signals -------------------------------------------------------------

def breaker(p, on, withdrawable=False):
    col = RED if on else GREEN
    p.line(16, 2, 16, 8, col)
    p.line(16, 24, 16, 30, col)
    p.rect(9, 8, 14, 16, col, fill=col if on else WHITE)
    if withdrawable:
        p.poly([(12, 5), (16, 2), (20, 5)], col)
        p.poly([(12, 27), (16, 30), (20, 27)], col)


def disconnector(p, on):
    col = RED if on else GREEN
    p.line(16, 2, 16, 9, col)
    p.line(12, 9, 20, 9, col)
    p.line(16, 23, 16, 30, col)
    # Blades are 4 units wide: two whole pixels at 16 pixels.
    if on:
        p.line(16, 9, 16, 23, col, 4)
    else:
        p.line(16, 23, 7, 11, col, 4)
    p.circle(16, 23, 2, col, fill=col, width=1)


def earthing(p, on):
    col = RED if on else GREEN
    p.line(16, 2, 16, 7, col)
    p.line(12, 7, 20, 7, col)
    if on:
        p.line(16, 7, 16, 20, col, 4)
    else:
        p.line(16, 20, 8, 9, col, 4)
    p.line(16, 20, 16, 23, col)
    p.line(8, 23, 24, 23, col)
    p.line(11, 27, 21, 27, col)
    p.line(14, 31, 18, 31, col)


def lamp(p, on):
    col = RED if on else GREEN
    p.circle(16, 16, 11, col, fill=AMBER if on else WHITE)
    p.line(8.5, 8.5, 23.5, 23.5, col)
    p.line(23.5, 8.5, 8.5, 23.5, col)


def board(p, on):
    col = RED if on else GREEN
    p.rect(4, 7, 24, 18, col, fill=AMBER if on else WHITE, r=2)
    p.line(9, 13, 23, 13, DARK, 2)
    p.line(9, 19, 19, 19, DARK, 2)


def meter(p):
    p.circle(16, 17, 12, DARK, fill=WHITE)
    p.path("M 8 17 A 8 8 0 0 1 24 17", GREY, width=2)
    p.line(16, 17, 22, 10, RED, 2.5)
    p.circle(16, 17, 2, DARK, fill=DARK, width=1)


def signal_dot(p, on, mark=None):
    col = RED if on else GREEN
    p.circle(16, 16, 11, col, fill=col)
    if mark == "ack":
        p.poly([(10, 16), (14, 21), (22, 11)], WHITE, width=3)


def measurement(p, sign):
    p.rect(3, 5, 26, 22, BLUE, fill=WHITE, r=3)
    if sign > 0:
        p.line(10, 16, 22, 16, BLUE, 3)
        p.line(16, 10, 16, 22, BLUE, 3)
    elif sign < 0:
        p.line(10, 16, 22, 16, ORANGE, 3)
    else:
        p.circle(16, 16, 5, GREY, width=3)


def padlock(p):
    p.path("M 10 15 V 10 A 6 6 0 0 1 22 10 V 15", DARK, width=3)
    p.rect(6, 14, 20, 15, DARK, fill=AMBER, r=2)
    p.circle(16, 21, 2, DARK, fill=DARK, width=1)


def mark(p, colour, glyph):
    p.circle(16, 16, 13, WHITE, fill=colour, width=2)
    p.text(16, 22, glyph, WHITE, 18)


def folder(p, colour=AMBER):
    p.path("M 3 8 H 12 L 15 11 H 29 V 27 H 3 Z", DARK, fill=colour, width=2)


def device_box(p, label, colour=BLUE):
    p.rect(4, 4, 24, 24, colour, fill=WHITE, r=3)
    p.text(16, 21, label, colour, 11)


def port(p):
    p.path("M 5 9 H 27 L 24 23 H 8 Z", DARK, fill=GREY, width=2)
    for x in (10, 14, 18, 22):
        p.circle(x, 14, 1.3, DARK, fill=DARK, width=0.5)
    for x in (12, 16, 20):
        p.circle(x, 19, 1.3, DARK, fill=DARK, width=0.5)


def channel(p):
    p.line(4, 16, 28, 16, BLUE, 3)
    p.circle(6, 16, 3, BLUE, fill=WHITE)
    p.circle(26, 16, 3, BLUE, fill=WHITE)
    p.poly([(12, 10), (18, 16), (12, 22)], BLUE)


def section(p):
    p.line(3, 12, 29, 12, DARK, 4)
    for x in (8, 16, 24):
        p.line(x, 12, x, 26, DARK)
        p.circle(x, 26, 2, DARK, fill=DARK, width=1)


def link(p, colour=BLUE):
    p.rect(3, 12, 14, 8, colour, r=4, width=3)
    p.rect(15, 12, 14, 8, colour, r=4, width=3)


def expression(p, colour=BLUE):
    p.text(16, 23, "fx", colour, 17)


def page(p):
    p.path("M 7 3 H 20 L 26 9 V 29 H 7 Z", DARK, fill=WHITE, width=2)
    p.line(11, 15, 22, 15, GREY, 2)
    p.line(11, 20, 22, 20, GREY, 2)
    p.line(11, 25, 18, 25, GREY, 2)


def scheme(p, colour=BLUE, on=True):
    p.rect(3, 5, 26, 22, colour, fill=WHITE if on else PAPER, r=2)
    p.line(8, 11, 24, 11, colour, 2)
    p.line(12, 11, 12, 22, colour, 2)
    p.rect(17, 14, 6, 6, RED if on else GREY, fill=RED if on else GREY, width=1)
    p.line(20, 11, 20, 14, colour, 2)


def table(p, colour=DARK, on=True):
    p.rect(3, 5, 26, 22, colour, fill=WHITE if on else PAPER, width=2)
    p.line(3, 12, 29, 12, colour, 2)
    p.line(3, 19, 29, 19, colour, 2)
    p.line(12, 5, 12, 27, colour, 2)


def check(p, colour=GREEN):
    p.poly([(6, 16), (13, 24), (26, 8)], colour, width=4)


def cross(p, colour=RED):
    p.line(8, 8, 24, 24, colour, 4)
    p.line(24, 8, 8, 24, colour, 4)


def arrow(p, direction, colour=DARK, bar=None):
    # A filled arrow; `bar` adds the stop line of "to the first/last".
    pts = {"down": [(16, 27), (6, 15), (12, 15), (12, 5), (20, 5), (20, 15), (26, 15)],
           "up": [(16, 5), (6, 17), (12, 17), (12, 27), (20, 27), (20, 17), (26, 17)],
           "left": [(5, 16), (17, 6), (17, 12), (27, 12), (27, 20), (17, 20), (17, 26)],
           "right": [(27, 16), (15, 6), (15, 12), (5, 12), (5, 20), (15, 20), (15, 26)]}
    p.poly(pts[direction], colour, fill=colour, width=1.5, closed=True)
    if bar == "bottom":
        p.line(5, 30, 27, 30, colour, 3)
    elif bar == "top":
        p.line(5, 2, 27, 2, colour, 3)


def hand(p, colour=DARK, fill=AMBER):
    p.path("M 10 29 L 6 19 Q 5 16 8 17 L 11 21 V 7 Q 11 5 13 5 Q 15 5 15 7 V 15 V 5 Q 15 3 17 3 "
           "Q 19 3 19 5 V 15 V 6 Q 19 4 21 4 Q 23 4 23 6 V 16 V 9 Q 23 7 25 7 Q 27 7 27 9 V 21 "
           "Q 27 29 20 29 Z", colour, fill=fill, width=1.8)


def plug(p, connected, colour):
    p.rect(3, 11, 9, 10, colour, fill=colour, r=2)
    p.line(12, 13, 15, 13, colour, 2.5)
    p.line(12, 19, 15, 19, colour, 2.5)
    x = 17 if connected else 20
    p.rect(x, 10, 9, 12, colour, fill=WHITE, r=2)
    p.line(x + 9, 16, 30, 16, colour)
    p.line(1, 16, 3, 16, colour)


def floppy(p, colour=BLUE):
    p.path("M 4 4 H 24 L 28 8 V 28 H 4 Z", colour, fill=colour, width=2)
    p.rect(9, 4, 12, 8, None, fill=WHITE)
    p.rect(8, 17, 16, 11, None, fill=WHITE)
    p.rect(17, 5, 3, 6, None, fill=colour)


def magnifier(p, sign=None, colour=DARK):
    p.circle(13, 13, 9, colour, fill=WHITE)
    p.line(20, 20, 28, 28, colour, 4)
    if sign in ("+", "-"):
        p.line(9, 13, 17, 13, colour, 2.5)
    if sign == "+":
        p.line(13, 9, 13, 17, colour, 2.5)


def printer(p, colour=DARK):
    p.rect(9, 3, 14, 9, colour, fill=WHITE, width=2)
    p.rect(3, 11, 26, 12, colour, fill=GREY, r=2, width=2)
    p.rect(9, 19, 14, 10, colour, fill=WHITE, width=2)
    p.line(12, 23, 20, 23, colour, 1.5)
    p.line(12, 26, 18, 26, colour, 1.5)


def frame_arrows(p, kind, colour=DARK):
    p.rect(3, 3, 26, 26, GREY, width=2, r=2)
    if kind == "width":
        p.line(7, 16, 25, 16, colour)
        p.poly([(11, 12), (7, 16), (11, 20)], colour)
        p.poly([(21, 12), (25, 16), (21, 20)], colour)
    elif kind == "height":
        p.line(16, 7, 16, 25, colour)
        p.poly([(12, 11), (16, 7), (20, 11)], colour)
        p.poly([(12, 21), (16, 25), (20, 21)], colour)
    else:
        for (x, y, dx, dy) in ((7, 7, 1, 1), (25, 7, -1, 1), (7, 25, 1, -1), (25, 25, -1, -1)):
            p.poly([(x + 6 * dx, y), (x, y), (x, y + 6 * dy)], colour)


def document(p, on=True):
    p.path("M 6 3 H 20 L 26 9 V 29 H 6 Z", DARK, fill=WHITE if on else PAPER, width=2)
    for y in (13, 17, 21, 25):
        p.line(10, y, 22, y, BLUE if on else GREY, 2)


def journal(p, on=True):
    p.rect(4, 3, 24, 26, DARK, fill=WHITE if on else PAPER, r=2, width=2)
    for i, y in enumerate((9, 15, 21)):
        p.circle(9, y, 2.2, None, fill=(RED, GREEN, RED)[i] if on else GREY)
        p.line(14, y, 24, y, DARK if on else GREY, 2)


def pencil(p, on=True):
    col = ORANGE if on else GREY
    p.poly([(6, 26), (8, 19), (22, 5), (27, 10), (13, 24)], DARK, fill=col, width=2, closed=True)
    p.line(8, 19, 13, 24, DARK, 2)


def bubble(p, on=True):
    col = AMBER if on else PAPER
    p.path("M 4 6 H 28 V 22 H 14 L 8 28 V 22 H 4 Z", DARK, fill=col, width=2)
    p.text(16, 20, "?", DARK, 14)


def cabinet(p, on=True):
    col = BLUE if on else GREY
    p.rect(6, 3, 20, 26, col, fill=WHITE if on else PAPER, r=2)
    p.line(10, 9, 22, 9, col, 2)
    p.line(10, 14, 22, 14, col, 2)
    p.circle(12, 22, 2.2, None, fill=RED if on else GREY)
    p.circle(20, 22, 2.2, None, fill=GREEN if on else GREY)


def tree(p, on=True):
    col = BLUE if on else GREY
    p.rect(3, 3, 10, 7, col, fill=col)
    p.line(8, 10, 8, 26, col, 2)
    p.line(8, 17, 15, 17, col, 2)
    p.line(8, 26, 15, 26, col, 2)
    p.rect(15, 14, 14, 6, col, fill=WHITE)
    p.rect(15, 23, 14, 6, col, fill=WHITE)


def reload_pic(p):
    folder(p)
    p.path("M 21 16 A 5 5 0 1 1 16 11 H 19", WHITE, width=2.5)
    p.poly([(18, 8), (21, 11), (18, 14)], WHITE, width=2.5)


def switch_mode(p, letter, colour):
    p.circle(16, 16, 13, colour, fill=WHITE)
    p.text(16, 22, letter, colour, 16)


ICONS = {}


def icon(number, grey_of=None):
    def register(fn):
        ICONS[number] = (fn, False)
        if grey_of is not None:
            for g in grey_of:
                ICONS[g] = (fn, True)
        return fn
    return register


def define():
    d = ICONS
    d[1400] = (padlock, False)
    d[1401] = (lambda p: p.circle(16, 16, 8, DARK, fill=WHITE, width=3), False)
    d[1402] = (folder, False)
    d[1403] = (lambda p: mark(p, GREY, "?"), False)              # no control
    d[1404] = (lambda p: mark(p, ORANGE, "?"), False)            # not defined
    d[1405] = (scheme, False)
    d[1406] = (port, False)
    d[1407] = (lambda p: device_box(p, "104"), False)
    d[1408] = (lambda p: device_box(p, "101", DARK), False)
    d[1409] = (lambda p: signal_dot(p, True), False)
    d[1410] = (lambda p: signal_dot(p, False), False)
    d[1411] = (channel, False)
    d[1412] = (section, False)
    d[1413] = (link, False)
    d[1414] = (expression, False)
    d[1415] = (lambda p: (link(p, ORANGE)), False)
    d[1416] = (lambda p: (padlock(p), p.circle(25, 8, 6, WHITE, fill=GREEN, width=1.5)), False)
    d[1417] = (lambda p: (padlock(p), p.circle(25, 8, 6, WHITE, fill=RED, width=1.5)), False)
    d[1418] = (lambda p: (table(p), p.rect(19, 19, 10, 10, DARK, fill=AMBER, width=1.5)), False)
    d[1419] = (lambda p: disconnector(p, True), False)
    d[1420] = (lambda p: disconnector(p, False), False)
    d[1421] = (page, False)
    d[1422] = (lambda p: earthing(p, True), False)
    d[1423] = (lambda p: earthing(p, False), False)
    d[1424] = (lambda p: breaker(p, True), False)
    d[1425] = (lambda p: breaker(p, False), False)
    d[1426] = (lambda p: breaker(p, True, True), False)
    d[1427] = (lambda p: breaker(p, False, True), False)
    d[1428] = (lambda p: lamp(p, True), False)
    d[1429] = (lambda p: lamp(p, False), False)
    d[1430] = (lambda p: measurement(p, 1), False)
    d[1431] = (lambda p: measurement(p, -1), False)
    d[1432] = (lambda p: measurement(p, 0), False)
    d[1433] = (lambda p: (signal_dot(p, True), p.rect(16, 2, 14, 28, None, fill=GREEN)), False)
    d[1434] = (lambda p: (p.rect(3, 8, 26, 16, BLUE, fill=WHITE, r=2), p.text(16, 21, "0.0", BLUE, 11)), False)
    d[1435] = (lambda p: board(p, True), False)
    d[1436] = (lambda p: board(p, False), False)
    d[1437] = (meter, False)
    d[1438] = (lambda p: (p.rect(5, 5, 22, 22, GREY, r=2), p.text(16, 23, "?", ORANGE, 18)), False)
    d[1439] = (lambda p: mark(p, BLUE, "i"), False)
    d[1440] = (lambda p: mark(p, GREEN, "✓"), False)
    d[1441] = (lambda p: signal_dot(p, True, "ack"), False)
    d[1442] = (lambda p: signal_dot(p, False, "ack"), False)
    d[1443] = (lambda p: (p.circle(16, 16, 14, WHITE, fill=WHITE, width=1), hand(p)), False)
    d[1444] = (lambda p: mark(p, RED, "!"), False)               # not acknowledged
    d[1445] = (lambda p: mark(p, DARK, "✕"), False)              # invalid
    d[1446] = (lambda p: (p.circle(16, 16, 8, ORANGE, fill=ORANGE), p.line(16, 2, 16, 30, DARK, 2)), False)
    d[1447] = (lambda p: (p.rect(5, 5, 22, 22, DARK, fill=WHITE, r=3), p.text(16, 21, "ТУ", DARK, 11)), False)
    d[1448] = (table, False)
    d[1449] = (lambda p: (p.rect(4, 6, 24, 20, DARK, fill=WHITE, r=10), p.text(16, 21, "ИЛИ", DARK, 8)), False)
    d[1450] = (check, False)
    d[1451] = (cross, False)
    d[1452] = (lambda p: (p.circle(16, 16, 14, WHITE, fill=AMBER, width=1), p.text(16, 22, "Р", DARK, 16)), False)
    d[1453] = (lambda p: (p.rect(4, 4, 24, 24, RED, fill=RED, r=4), p.text(16, 22, "I", WHITE, 16)), False)
    d[1454] = (lambda p: (p.rect(4, 4, 24, 24, GREEN, fill=GREEN, r=4), p.text(16, 22, "O", WHITE, 16)), False)
    d[1455] = (lambda p: (p.circle(16, 16, 13, GREEN, fill=GREEN), check(p, WHITE)), False)
    d[1456] = (lambda p: (p.circle(16, 16, 13, RED, fill=RED), cross(p, WHITE)), False)
    d[1457] = (lambda p: switch_mode(p, "Р", ORANGE), False)
    d[1458] = (lambda p: arrow(p, "up"), False)
    d[1459] = (lambda p: arrow(p, "down"), False)
    d[1460] = (lambda p: arrow(p, "left"), False)
    d[1461] = (lambda p: arrow(p, "right"), False)
    d[1462] = (lambda p: mark(p, AMBER, "≈"), False)
    d[1463] = (lambda p: switch_mode(p, "А", BLUE), False)
    d[1464] = (lambda p: switch_mode(p, "Д", GREEN), False)

    d[1500] = (lambda p: bubble(p, False), False)
    d[1501] = (lambda p: bubble(p, True), False)
    d[1502] = (floppy, False)
    d[1532] = (floppy, True)
    d[1503] = (reload_pic, False)
    d[1504] = (lambda p: cabinet(p, False), False)
    d[1519] = (lambda p: cabinet(p, True), False)
    d[1505] = (lambda p: plug(p, True, GREEN), False)
    d[1506] = (lambda p: plug(p, False, GREY), False)
    d[1525] = (lambda p: (plug(p, False, RED), p.text(24, 31, "!", RED, 12)), False)
    d[1507] = (lambda p: document(p, True), False)
    d[1508] = (lambda p: document(p, False), False)
    d[1509] = (printer, False)
    d[1549] = (printer, True)
    d[1510] = (lambda p: magnifier(p, "+"), False)
    d[1511] = (lambda p: magnifier(p, "-"), False)
    d[1512] = (lambda p: frame_arrows(p, "width"), False)
    d[1550] = (lambda p: frame_arrows(p, "width"), True)
    d[1513] = (lambda p: frame_arrows(p, "height"), False)
    d[1551] = (lambda p: frame_arrows(p, "height"), True)
    d[1514] = (lambda p: frame_arrows(p, "full"), False)
    d[1552] = (lambda p: frame_arrows(p, "full"), True)
    d[1515] = (lambda p: (p.rect(3, 3, 26, 26, GREY, width=2, r=2), p.text(16, 21, "1:1", DARK, 11)), False)
    d[1553] = (ICONS[1515][0], True)
    d[1516] = (lambda p: (p.rect(3, 3, 26, 26, GREY, width=2, r=2), p.rect(7, 7, 8, 8, None, fill=RED),
                          p.rect(17, 7, 8, 8, None, fill=GREEN), p.rect(7, 17, 8, 8, None, fill=AMBER),
                          p.rect(17, 17, 8, 8, None, fill=BLUE)), False)
    d[1554] = (ICONS[1516][0], True)
    d[1517] = (lambda p: (scheme(p), magnifier(p)), False)
    d[1518] = (lambda p: (scheme(p, GREY, False)), False)
    d[1520] = (lambda p: tree(p, True), False)
    d[1521] = (lambda p: tree(p, False), False)
    d[1522] = (lambda p: scheme(p, BLUE, True), False)
    d[1523] = (lambda p: scheme(p, GREY, False), False)
    d[1524] = (lambda p: hand(p, DARK, WHITE), False)
    d[1555] = (lambda p: hand(p, DARK, WHITE), True)
    d[1526] = (lambda p: pencil(p, True), False)
    d[1527] = (lambda p: pencil(p, False), False)
    d[1528] = (lambda p: journal(p, True), False)
    d[1529] = (lambda p: journal(p, False), False)
    cancel_hand = lambda p: (hand(p), p.line(4, 4, 28, 28, RED, 3.5))
    d[1530] = (cancel_hand, False)
    d[1531] = (cancel_hand, True)
    ack_all = lambda p: (p.poly([(3, 16), (9, 23), (20, 9)], GREEN, width=3.5),
                         p.poly([(12, 20), (15, 23), (28, 8)], GREEN, width=3.5))
    d[1533] = (ack_all, False)
    d[1534] = (ack_all, True)
    d[1535] = (lambda p: (hand(p), p.circle(25, 25, 6, WHITE, fill=RED, width=1.5)), False)
    d[1536] = (lambda p: (hand(p), p.circle(25, 25, 6, WHITE, fill=GREEN, width=1.5)), False)
    d[1537] = (lambda p: switch_mode(p, "А", BLUE), False)
    d[1538] = (lambda p: cross(p, RED), False)
    d[1539] = (lambda p: arrow(p, "down", BLUE), False)
    d[1541] = (lambda p: arrow(p, "down", BLUE), True)
    d[1540] = (lambda p: arrow(p, "down", BLUE, "bottom"), False)
    d[1542] = (lambda p: arrow(p, "down", BLUE, "bottom"), True)
    d[1543] = (lambda p: arrow(p, "up", BLUE), False)
    d[1545] = (lambda p: arrow(p, "up", BLUE), True)
    d[1544] = (lambda p: arrow(p, "up", BLUE, "top"), False)
    d[1546] = (lambda p: arrow(p, "up", BLUE, "top"), True)
    d[1547] = (lambda p: hand(p), True)
    d[1548] = (lambda p: switch_mode(p, "А", BLUE), True)
    d[1556] = (lambda p: table(p, DARK, True), False)
    d[1557] = (lambda p: table(p, GREY, False), False)
    d[1558] = (lambda p: (link(p, BLUE), p.poly([(20, 26), (26, 26)], RED)), False)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "..", "ui", "icons")
    define()
    wanted = list(range(1400, 1465)) + list(range(1500, 1559))
    missing = [n for n in wanted if n not in ICONS]
    if missing:
        sys.exit(f"no drawing for {missing}")
    os.makedirs(out, exist_ok=True)
    for n in wanted:
        fn, grey = ICONS[n]
        p = Pic(grey)
        fn(p)
        with open(os.path.join(out, f"{n}.svg"), "w", encoding="utf-8") as f:
            f.write(p.svg())
    print(f"{len(wanted)} icons written to {os.path.normpath(out)}")


if __name__ == "__main__":
    main()
