#!/usr/bin/python3
"""Draw the file-type icons shown on conversation file cards and file windows.

Each icon is an 80x80 RGBA PNG: a document sheet with a folded corner, tinted
by kind, with a white pictogram and the extension in bold letters. Shapes are
drawn at 4x and scaled down for smooth edges; the label is drawn at final size
so FreeType hinting keeps it crisp. Output is byte-identical between runs
(fixed order, no metadata).

Usage: /usr/bin/python3 make_file_type_icons.py [OUTPUT_DIR]
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

SIZE = 80
SS = 4  # supersampling factor for shapes
LABEL_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"
GLYPH_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

# Sheet geometry in 80-px units.
LEFT, TOP, RIGHT, BOTTOM = 11, 3, 69, 77
FOLD = 18
RADIUS = 4
LABEL_BOX = (LEFT + 3, 50, RIGHT - 3, 70)  # area the extension text must fit

WHITE = (255, 255, 255, 255)

# kind -> (sheet colour, pictogram)
KINDS = {
    "default": ((0x90, 0xA4, 0xAE), "lines"),
    "word":    ((0x1E, 0x6F, 0xD9), "lines"),
    "pdf":     ((0xC6, 0x28, 0x28), "pdf"),
    "text":    ((0x54, 0x6E, 0x7A), "lines"),
    "sheet":   ((0x1E, 0x8E, 0x3E), "grid"),
    "slides":  ((0xE8, 0x71, 0x0A), "slide"),
    "archive": ((0xB0, 0x7A, 0x1A), "zipper"),
    "image":   ((0x8E, 0x44, 0xAD), "picture"),
    "audio":   ((0xD8, 0x1B, 0x60), "note"),
    "video":   ((0xE5, 0x39, 0x35), "play"),
    "design":  ((0x3F, 0x3D, 0xB8), "pen"),
    "code":    ((0x00, 0x79, 0x6B), "brackets"),
    "data":    ((0x45, 0x5A, 0x64), "braces"),
    "app":     ((0x37, 0x47, 0x4F), "apps"),
}

EXTENSIONS = {
    "word": ["doc", "docx", "odt", "rtf", "pages"],
    "pdf": ["pdf"],
    "text": ["txt", "md", "log"],
    "sheet": ["xls", "xlsx", "csv", "ods", "numbers"],
    "slides": ["ppt", "pptx", "odp", "key"],
    "archive": ["zip", "rar", "7z", "tar", "gz"],
    "image": ["png", "jpg", "jpeg", "gif", "bmp", "webp", "svg"],
    "audio": ["mp3", "wav", "flac", "aac", "ogg", "m4a"],
    "video": ["mp4", "mov", "avi", "mkv", "webm"],
    "design": ["psd", "ai", "sketch", "fig"],
    "code": ["html", "css", "js", "ts", "c", "cpp", "h", "py", "java", "sh"],
    "data": ["json", "xml", "yaml", "sql"],
    "app": ["exe", "msi", "apk", "dmg", "deb"],
}


def mix(rgb, other, t):
    return tuple(round(a + (b - a) * t) for a, b in zip(rgb, other)) + (255,)


def s(*v):
    """Scale 80-px coordinates to the supersampled canvas."""
    return [round(x * SS) for x in v]


def draw_sheet(d, rgb):
    fx, fy = RIGHT - FOLD, TOP + FOLD
    d.rounded_rectangle(s(LEFT, TOP, RIGHT, BOTTOM), radius=RADIUS * SS, fill=rgb + (255,))
    # Cut the top-right corner away along the diagonal, then lay the flap in it.
    d.polygon(s(fx, TOP - 1, RIGHT + 1, TOP - 1, RIGHT + 1, fy), fill=(0, 0, 0, 0))
    d.polygon(s(fx, fy, RIGHT, fy, RIGHT, fy + 3), fill=mix(rgb, (0, 0, 0), 0.18))
    flap = mix(rgb, (255, 255, 255), 0.45)
    d.polygon(s(fx, TOP, fx, fy - RADIUS, fx + RADIUS, fy, RIGHT, fy), fill=flap)
    d.pieslice(s(fx, fy - 2 * RADIUS, fx + 2 * RADIUS, fy), 90, 180, fill=flap)


def pictogram(d, kind_pic, rgb, full):
    """White pictogram centred around (cx, cy); `full` means no label below."""
    cx, cy = 37, 33 if not full else 40
    w = WHITE
    if kind_pic == "lines":
        rows = [24, 30, 30, 30, 20] if full else [26, 32, 20]
        y0 = 28 if full else 25
        for i, ln in enumerate(rows):
            x0 = LEFT + 9
            d.rounded_rectangle(s(x0, y0 + i * 8, x0 + ln, y0 + i * 8 + 3.5), radius=SS * 1.5, fill=w)
    elif kind_pic == "pdf":
        # Page thumbnail: picture block plus two text lines.
        x0 = LEFT + 9
        d.rounded_rectangle(s(x0, 22, x0 + 14, 36), radius=SS * 2, fill=w)
        d.rounded_rectangle(s(x0 + 18, 23, x0 + 32, 26.5), radius=SS * 1.5, fill=w)
        d.rounded_rectangle(s(x0 + 18, 31, x0 + 28, 34.5), radius=SS * 1.5, fill=w)
        d.rounded_rectangle(s(x0, 40, x0 + 32, 43.5), radius=SS * 1.5, fill=w)
    elif kind_pic == "grid":
        x0, y0, cw, ch = cx - 14, 22, 28 / 3, 7
        d.rounded_rectangle(s(x0, y0, x0 + 28, y0 + 21), radius=SS * 2, outline=w, width=SS * 2)
        d.rectangle(s(x0, y0, x0 + 28, y0 + ch), fill=w)
        for i in (1, 2):
            d.rectangle(s(x0 + i * cw - 1, y0, x0 + i * cw + 1, y0 + 21), fill=w)
        d.rectangle(s(x0, y0 + 2 * ch - 1, x0 + 28, y0 + 2 * ch + 1), fill=w)
    elif kind_pic == "slide":
        x0, y0 = cx - 15, 22
        d.rounded_rectangle(s(x0, y0, x0 + 30, y0 + 19), radius=SS * 2, outline=w, width=SS * 2)
        for i, h in enumerate((6, 10, 14)):
            bx = x0 + 7 + i * 6
            d.rectangle(s(bx, y0 + 16 - h, bx + 4, y0 + 16), fill=w)
        d.rectangle(s(cx - 1, y0 + 19, cx + 1, y0 + 23), fill=w)
    elif kind_pic == "zipper":
        zx = cx
        for i in range(5):
            y = TOP + 2 + i * 5
            side = -1 if i % 2 == 0 else 1
            d.rectangle(s(zx + min(0, side * 5), y, zx + max(0, side * 5), y + 3), fill=w)
        d.rounded_rectangle(s(zx - 4, 29, zx + 4, 42), radius=SS * 2, fill=w)
        d.rectangle(s(zx - 2, 35, zx + 2, 39), fill=rgb + (255,))
    elif kind_pic == "picture":
        x0, y0 = cx - 15, 22
        d.rounded_rectangle(s(x0, y0, x0 + 30, y0 + 21), radius=SS * 3, outline=w, width=SS * 2)
        d.ellipse(s(x0 + 19, y0 + 4, x0 + 25, y0 + 10), fill=w)
        d.polygon(s(x0 + 3, y0 + 18, x0 + 11, y0 + 8, x0 + 18, y0 + 18), fill=w)
        d.polygon(s(x0 + 13, y0 + 18, x0 + 20, y0 + 12, x0 + 27, y0 + 18), fill=w)
    elif kind_pic == "note":
        # Two beamed eighth notes.
        d.ellipse(s(cx - 13, 36, cx - 4, 43), fill=w)
        d.ellipse(s(cx + 3, 33, cx + 12, 40), fill=w)
        d.rectangle(s(cx - 6.5, 22, cx - 4, 40), fill=w)
        d.rectangle(s(cx + 9.5, 19, cx + 12, 37), fill=w)
        d.polygon(s(cx - 6.5, 22, cx + 12, 19, cx + 12, 24, cx - 6.5, 27), fill=w)
    elif kind_pic == "play":
        x0, y0 = cx - 15, 22
        d.rounded_rectangle(s(x0, y0, x0 + 30, y0 + 21), radius=SS * 4, fill=w)
        d.polygon(s(cx - 4, y0 + 5, cx - 4, y0 + 16, cx + 6, y0 + 10.5), fill=rgb + (255,))
    elif kind_pic == "pen":
        # Vector pen nib with anchor points on a path.
        d.polygon(s(cx, 20, cx + 8, 31, cx + 3, 40, cx - 3, 40, cx - 8, 31), fill=w)
        d.ellipse(s(cx - 2, 29, cx + 2, 33), fill=rgb + (255,))
        d.rectangle(s(cx - 0.75, 22, cx + 0.75, 30), fill=rgb + (255,))
        d.rounded_rectangle(s(cx - 4, 41, cx + 4, 45), radius=SS, fill=w)
    elif kind_pic in ("brackets", "braces"):
        glyph = "</>" if kind_pic == "brackets" else "{ }"
        font = ImageFont.truetype(GLYPH_FONT, 17 * SS)
        d.text(s(cx, 32), glyph, font=font, fill=w, anchor="mm")
    elif kind_pic == "apps":
        for i, j in ((0, 0), (1, 0), (0, 1), (1, 1)):
            x, y = cx - 11 + i * 12, 21 + j * 12
            if (i, j) == (1, 0):
                d.ellipse(s(x, y, x + 10, y + 10), fill=w)
            else:
                d.rounded_rectangle(s(x, y, x + 10, y + 10), radius=SS * 2.5, fill=w)


def label_layout(text):
    """Largest label font (and letter spacing) whose text fits the label box.

    Long labels such as SKETCH or NUMBERS first tighten the spacing by a pixel
    before the font shrinks, so they stay as large as possible.
    """
    x0, y0, x1, y1 = LABEL_BOX
    for size in range(21, 8, -1):
        font = ImageFont.truetype(LABEL_FONT, size)
        for track in ((0, -1) if len(text) > 4 else (0,)):
            width = sum(font.getlength(c) for c in text) + track * (len(text) - 1)
            if width <= x1 - x0:
                return font, track, width
    return font, track, width


def draw_label(img, text):
    font, track, width = label_layout(text)
    x0, y0, x1, y1 = LABEL_BOX
    _, top, _, bottom = font.getbbox(text)
    # Integer placement keeps stems on pixel boundaries, hence crisp.
    x = (x0 + x1 - round(width)) // 2
    y = (y0 + y1 - (bottom - top)) // 2 - top
    d = ImageDraw.Draw(img)
    for c in text:
        d.text((round(x), y), c, font=font, fill=WHITE)
        x += font.getlength(c) + track


def make_icon(kind, ext):
    rgb, pic = KINDS[kind]
    big = Image.new("RGBA", (SIZE * SS, SIZE * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    draw_sheet(d, rgb)
    pictogram(d, pic, rgb, full=ext is None)
    img = big.resize((SIZE, SIZE), Image.LANCZOS)
    if ext:
        draw_label(img, ext.upper())
    return img


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "skin", "file_type")
    os.makedirs(out, exist_ok=True)
    jobs = [("default", None)] + [(k, e) for k, exts in EXTENSIONS.items() for e in exts]
    names = set()
    for kind, ext in jobs:
        name = "file_type_%s.png" % (ext or "default")
        assert name not in names, name
        names.add(name)
        make_icon(kind, ext).save(os.path.join(out, name), optimize=True)
    print("wrote %d icons to %s" % (len(jobs), os.path.normpath(out)))


if __name__ == "__main__":
    main()
