#!/usr/bin/python3
"""Draws skin/emoji/<stem>.png, one 20 by 20 RGBA image for every distinct image stem of
emoji/data/emoji_images.tsv, from the colour bitmaps of Noto Color Emoji.

A developer tool: its output is committed and the build never runs it. It needs Debian's
fonts-noto-color-emoji, python3-fonttools and python3-pil (hence Debian's own python3):

    apt-get install fonts-noto-color-emoji python3-fonttools python3-pil
    /usr/bin/python3 tools/emoji/make_emoji_images.py

Options: --font another NotoColorEmoji.ttf, --out another folder, --size another edge length.

How an image is made: the stem names the code point whose picture it shows ("emoji_1f303" is
U+1F303; the table also uses it for U+1F320). The font's cmap gives that code point's glyph and
its largest CBDT strike the glyph's PNG (136 by 128 in Noto, the picture centred in the middle
128 columns). The square around the picture is cut out and reduced with a Lanczos filter on
premultiplied alpha, so the soft edges keep their colour instead of darkening. A code point the
font has no bitmap for gets a neutral placeholder tile and is reported on stderr; the run lists
every such code point at the end and never leaves a stem without a file.
"""

import argparse
import io
import os
import sys

from fontTools.ttLib import TTFont
from PIL import Image, ImageDraw

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IMAGES_TSV = os.path.join(ROOT, "emoji", "data", "emoji_images.tsv")
DEFAULT_FONT = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf"
DEFAULT_OUT = os.path.join(ROOT, "skin", "emoji")


def read_stems(path):
    """Distinct image stems of the image table, in table order."""
    stems = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            _, stem = line.split("\t")
            if stem not in stems:
                stems.append(stem)
    return stems


def code_point_of_stem(stem):
    prefix = "emoji_"
    if not stem.startswith(prefix):
        raise ValueError(f"unexpected image stem {stem!r}")
    return int(stem[len(prefix):], 16)


class EmojiFont:
    """Colour bitmaps of a CBDT/CBLC font, from its largest strike."""

    def __init__(self, path):
        self.font = TTFont(path)
        if "CBDT" not in self.font or "CBLC" not in self.font:
            raise SystemExit(f"{path}: not a CBDT/CBLC colour bitmap font")
        self.cmap = self.font.getBestCmap()
        strikes = self.font["CBLC"].strikes
        best = max(range(len(strikes)), key=lambda i: strikes[i].bitmapSizeTable.ppemY)
        self.ppem = strikes[best].bitmapSizeTable.ppemY
        self.glyphs = self.font["CBDT"].strikeData[best]

    def bitmap(self, code_point):
        """The glyph's picture as RGBA, or None when the font has none for the code point."""
        name = self.cmap.get(code_point)
        if name is None or name not in self.glyphs:
            return None
        data = getattr(self.glyphs[name], "imageData", None)
        if not data:
            return None
        return Image.open(io.BytesIO(data)).convert("RGBA")


def square_around_picture(image):
    """The centred square of the glyph bitmap: Noto draws each picture in the middle square of
    a slightly wider bitmap. If something lies outside that square, pad to a square instead."""
    w, h = image.size
    side = min(w, h)
    left, top = (w - side) // 2, (h - side) // 2
    box = (left, top, left + side, top + side)
    bbox = image.getchannel("A").getbbox()
    if bbox is None or (bbox[0] >= box[0] and bbox[1] >= box[1]
                        and bbox[2] <= box[2] and bbox[3] <= box[3]):
        return image.crop(box)
    side = max(w, h)
    padded = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    padded.paste(image, ((side - w) // 2, (side - h) // 2))
    return padded


def reduce(image, size):
    """Lanczos reduction on premultiplied alpha."""
    premultiplied = image.convert("RGBa")
    small = premultiplied.resize((size, size), Image.Resampling.LANCZOS)
    return small.convert("RGBA")


def placeholder(size):
    """A neutral tile for a code point without a picture: a light rounded square with a grey
    outline and a dot, drawn four times larger and reduced for soft edges."""
    scale = 4
    big = Image.new("RGBA", (size * scale, size * scale), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    inset = scale
    draw.rounded_rectangle((inset, inset, size * scale - 1 - inset, size * scale - 1 - inset),
                           radius=4 * scale, fill=(238, 238, 238, 255),
                           outline=(150, 150, 150, 255), width=scale)
    c, r = size * scale // 2, 2 * scale
    draw.ellipse((c - r, c - r, c + r, c + r), fill=(150, 150, 150, 255))
    return reduce(big, size)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--font", default=DEFAULT_FONT)
    ap.add_argument("--out", default=DEFAULT_OUT)
    ap.add_argument("--size", type=int, default=20)
    args = ap.parse_args()

    font = EmojiFont(args.font)
    os.makedirs(args.out, exist_ok=True)
    stems = read_stems(IMAGES_TSV)
    without_glyph = []
    for stem in stems:
        cp = code_point_of_stem(stem)
        picture = font.bitmap(cp)
        if picture is None:
            without_glyph.append(cp)
            print(f"make_emoji_images: U+{cp:04X} has no bitmap in the font: placeholder",
                  file=sys.stderr)
            image = placeholder(args.size)
        else:
            image = reduce(square_around_picture(picture), args.size)
        image.save(os.path.join(args.out, stem + ".png"), optimize=True)

    print(f"wrote {len(stems)} images of {args.size}x{args.size} to "
          f"{os.path.relpath(args.out, ROOT)} from {os.path.basename(args.font)} "
          f"({font.ppem} ppem strike)")
    if without_glyph:
        print("placeholders for: " + ", ".join(f"U+{cp:04X}" for cp in without_glyph))


if __name__ == "__main__":
    main()
