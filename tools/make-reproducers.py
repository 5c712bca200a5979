#!/usr/bin/env python3
"""Writes the hostile packs under tests/data/ that the asset readers must
refuse, and tests/data/reproducers.txt, the list the tests read them from.

Each pack pins one fault and is named after it. A line of the list reads
"FILE|EXPECT|TEXT|": EXPECT is "open" (the pack is refused when opened),
"data" (entry 0 does not lie inside the pack), or the caption of the
decoder's notice, TEXT being its message.
The files are committed; run this again only to change them.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")

ERROR = "ERROR"
INVALID = "Invalid Image"
WRONG_TYPE = "TGA file be type 2 or type 10 "


def tga_header(image_type=2, width=2, height=2, bpp=24, id_length=0, cmap_type=0,
               cmap_fields=b"\0" * 5, x_origin=0, y_origin=0, descriptor=0):
    return (struct.pack("<BBB", id_length, cmap_type, image_type) + cmap_fields +
            struct.pack("<HHHHBB", x_origin, y_origin, width, height, bpp, descriptor))


def pixels(count, pixel_bytes=3):
    return bytes((i * 7 + k) & 0xFF for i in range(count) for k in range(pixel_bytes))


def pack(entries, count=None, dir_offset=None, size_fix=0, tail=b""):
    """entries: (kind, alpha, data[, size, offset]) with size and offset
    overriding the true ones."""
    n = len(entries)
    directory_at = 24 if dir_offset is None else dir_offset
    offset = 24 + 28 * n
    directory, body = b"", b""
    for entry in entries:
        kind, alpha, data = entry[:3]
        size = entry[3] if len(entry) > 3 else len(data)
        at = entry[4] if len(entry) > 4 else offset + len(body)
        directory += struct.pack("<IIII", size, at, kind, alpha) + b"\0" * 12
        body += data
    total = 24 + len(directory) + len(body) + len(tail)
    header = b"ZRNF" + struct.pack("<IIIII", 0, 0, n if count is None else count,
                                   (~(total + size_fix)) & 0xFFFFFFFF, directory_at)
    return header + directory + body + tail


def picture_pack(tga):
    return pack([(1, 0, tga)])


def tga_cases():
    good = tga_header() + pixels(4)
    good_rle = tga_header(image_type=10) + b"\x83" + pixels(1)
    cases = [
        ("tga-size-overflows-32-bits", tga_header(width=65535, height=65535, bpp=32) + pixels(4),
         ERROR, "Could not allocate memory for image"),
        ("tga-size-wraps-to-zero", tga_header(width=32768, height=32768, bpp=32) + pixels(4),
         ERROR, "Could not allocate memory for image"),
        ("tga-rle-size-overflows-32-bits",
         tga_header(image_type=10, width=65535, height=65535, bpp=32) + b"\xff" + pixels(1, 4),
         ERROR, "Could not allocate memory for image"),
        ("tga-huge-in-tiny-file", tga_header(width=8000, height=8000, bpp=32) + pixels(4),
         ERROR, "Could not read image data"),
        ("tga-rle-huge-in-tiny-file",
         tga_header(image_type=10, width=8000, height=8000) + b"\xff" + pixels(1),
         ERROR, "Could not read RLE header"),
        ("tga-rle-run-overruns-pixels", tga_header(image_type=10) + b"\x84" + pixels(1),
         ERROR, "Too many pixels read"),
        ("tga-rle-raw-overruns-pixels", tga_header(image_type=10) + b"\x04" + pixels(5),
         ERROR, "Too many pixels read"),
        ("tga-rle-run-overruns-after-raw",
         tga_header(image_type=10) + b"\x02" + pixels(3) + b"\x81" + pixels(1),
         ERROR, "Too many pixels read"),
        ("tga-cut-in-file-header", good[:7], ERROR, "Could not read file header"),
        ("tga-cut-in-info-header", good[:15], ERROR, "Could not read info header"),
        ("tga-cut-in-pixels", good[:-1], ERROR, "Could not read image data"),
        ("tga-rle-cut-before-packet", good_rle[:18], ERROR, "Could not read RLE header"),
        ("tga-rle-cut-in-run-value", good_rle[:-1], ERROR, "Could not read from file"),
        ("tga-rle-cut-in-raw-pixel",
         tga_header(image_type=10) + b"\x03" + pixels(3) + b"\x01\x02",
         ERROR, "Could not read image data"),
        ("tga-width-0", tga_header(width=0) + pixels(4), ERROR, "Invalid texture information"),
        ("tga-height-0", tga_header(height=0) + pixels(4), ERROR, "Invalid texture information"),
        ("tga-empty-entry", b"", ERROR, "Could not read file header"),
    ]
    for bpp in (0, 8, 16, 64):
        cases.append(("tga-bpp-%d" % bpp, tga_header(bpp=bpp) + pixels(8, 8), ERROR,
                      "Invalid texture information"))
    for image_type in (1, 3, 9, 11):
        cases.append(("tga-type-%d" % image_type, tga_header(image_type=image_type) + pixels(4),
                      INVALID, WRONG_TYPE))
    cases += [
        ("tga-id-length-nonzero", tga_header(id_length=3) + b"abc" + pixels(4), INVALID,
         WRONG_TYPE),
        ("tga-colour-map-present",
         tga_header(cmap_type=1, cmap_fields=struct.pack("<HHB", 0, 2, 24)) + pixels(4),
         INVALID, WRONG_TYPE),
        ("tga-x-origin-nonzero", tga_header(x_origin=1) + pixels(4), INVALID, WRONG_TYPE),
        ("tga-rle-y-origin-nonzero", tga_header(image_type=10, y_origin=2) + b"\x83" + pixels(1),
         INVALID, WRONG_TYPE),
    ]
    return [(name, picture_pack(tga), expect, text) for name, tga, expect, text in cases]


def pack_cases():
    good_tga = tga_header() + pixels(4)
    valid = pack([(1, 0, good_tga)])
    return [
        ("pack-empty-file", b"", "open", ""),
        ("pack-cut-in-header", valid[:20], "open", ""),
        ("pack-wrong-magic", b"ZRNG" + valid[4:], "open", ""),
        ("pack-one-byte-appended", pack([(1, 0, good_tga)], size_fix=-1, tail=b"\0"), "open", ""),
        ("pack-size-check-wrong", pack([(1, 0, good_tga)], size_fix=1), "open", ""),
        # 153391690 entries of 28 bytes are 2^32 + 24 bytes: 24 in 32 bits.
        ("pack-entry-count-times-28-overflows", pack([(1, 0, good_tga)], count=153391690),
         "open", ""),
        ("pack-entry-count-huge", pack([(1, 0, good_tga)], count=0xFFFFFFFF), "open", ""),
        ("pack-directory-past-end", pack([(1, 0, good_tga)], dir_offset=0x7FFFFF00), "open", ""),
        ("pack-directory-runs-past-end", pack([], count=1), "open", ""),
        ("pack-entry-offset-past-end", pack([(1, 0, good_tga, len(good_tga), 0xFFFFFFF0)]),
         "data", ""),
        ("pack-entry-size-ffffffff", pack([(1, 0, good_tga, 0xFFFFFFFF)]), "data", ""),
        ("pack-entry-runs-past-end", pack([(2, 0, b"abcd", 1000)]), "data", ""),
    ]


def main():
    cases = tga_cases() + pack_cases()
    lines = []
    for name, data, expect, text in cases:
        file_name = name + ".vellumry"
        with open(os.path.join(DATA, file_name), "wb") as f:
            f.write(data)
        lines.append("%s|%s|%s|" % (file_name, expect, text))
    with open(os.path.join(DATA, "reproducers.txt"), "w") as f:
        f.write("# FILE|EXPECT|TEXT| written by tools/make-reproducers.py\n")
        f.write("\n".join(lines) + "\n")
    print("%d reproducers written to tests/data" % len(cases))


if __name__ == "__main__":
    main()
