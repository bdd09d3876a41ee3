"""The caption-button check of gui_test.py on ink patterns taken from real
screenshots of a Wine title bar: the close button's X with the Marlett font,
and the letter r that Wine draws in its place without it. The check must
pass the first and refuse the second and the other near misses."""
import gui_test as g
from checks import Checks


def ink(*rows):
    return {(x, y) for y, row in enumerate(rows) for x, c in enumerate(row) if c == "#"}


CLOSE_X = ink("##....##",
              "###..###",
              ".######.",
              "..####..",
              "..####..",
              ".######.",
              "###..###",
              "##....##")
LETTER_R = ink("#.###",
               "##...",
               "#....",
               "#....",
               "#....",
               "#....",
               "#....")
# Symmetric both ways but off the diagonals: the maximise box's outline.
BOX = ink("########", "#......#", "#......#", "#......#", "#......#", "########")
PLUS = ink("...##...", "...##...", "########", "...##...", "...##...")
UNDERSCORE = ink("######", "######")

# (case, ink pixels, whether the check passes)
CASES = [
    ("the close button's X", CLOSE_X, True),
    ("the X moved inside the button", {(x + 5, y + 3) for x, y in CLOSE_X}, True),
    ("the letter r (no symbol font)", LETTER_R, False),
    ("the maximise box", BOX, False),
    ("a plus", PLUS, False),
    ("the minimise bar", UNDERSCORE, False),
    ("no ink", set(), False),
    ("no button found", None, False),
]

c = Checks()
for name, pixels, passes in CASES:
    problem = g.glyph_problem(pixels)
    c.true(name, (problem is None) == passes, problem or "taken for the close button's X")
c.done()
