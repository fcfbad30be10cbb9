"""A picture that a sandbox wrote, taken only when it is what was asked for: a PNG of the size
asked for whose pixels inflate to exactly that size, checked before anything is decoded and
inflated no further than that. What is taken is written anew by the grader (pixels only, no other
chunk), so the tools that read it later never see what the submission wrote.
"""
import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {2: 3, 6: 4}  # colour types: RGB, RGBA; 8 bits each


class Refused(Exception):
    """Not a picture of the size asked for: why, in words."""


def pixel_bytes(width, height, channels):
    """The bytes of a picture's rows as PNG stores them: a filter byte, then the pixels."""
    return height * (1 + width * channels)


def largest(width, height):
    """Bytes a PNG of that size may have: its rows with deflate's worst case (fixed codes, 9 bits
    a byte; the program's own encoder uses them), in RGBA, and room for its chunks' headers."""
    return pixel_bytes(width, height, 4) * 9 // 8 + 4096


def chunks(data):
    """The chunks after the signature as (kind, body), to IEND; raises Refused if one runs past
    the end."""
    found, at = [], len(SIGNATURE)
    while at + 12 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if at + 12 + size > len(data):
            break
        found.append((kind, data[at + 8:at + 8 + size]))
        at += 12 + size
        if kind == b"IEND":
            return found
    raise Refused("the PNG is cut short")


def take(data, width, height):
    """The picture DATA as a fresh PNG, if it is one of WIDTH x HEIGHT; raises Refused."""
    if not data.startswith(SIGNATURE):
        raise Refused("not a PNG")
    found = chunks(data)
    if found[0][0] != b"IHDR" or len(found[0][1]) != 13:
        raise Refused("the PNG has no header")
    w, h, depth, colour, method, filtering, interlace = struct.unpack(">IIBBBBB", found[0][1])
    if (w, h) != (width, height):
        raise Refused("the picture is %dx%d, not %dx%d" % (w, h, width, height))
    if depth != 8 or colour not in CHANNELS or method or filtering or interlace:
        raise Refused("not a picture of 8-bit RGB pixels")
    expected = pixel_bytes(w, h, CHANNELS[colour])
    inflater = zlib.decompressobj()
    try:
        # NOTE: at most one byte more than the picture holds: deflate packs a thousand zeros
        # in a byte, and a small file may inflate to gigabytes.
        pixels = inflater.decompress(b"".join(body for kind, body in found if kind == b"IDAT"), expected + 1)
    except zlib.error:
        raise Refused("its pixel data is damaged")
    if len(pixels) > expected:
        raise Refused("it holds more pixel data than %dx%d" % (w, h))
    if len(pixels) < expected or not inflater.eof:
        raise Refused("it holds less pixel data than %dx%d" % (w, h))
    if any(pixels[row] > 4 for row in range(0, expected, expected // h)):
        raise Refused("its rows are damaged")
    return encode(w, h, colour, pixels)


def encode(width, height, colour, rows):
    """A PNG of the filtered ROWS, compressed by zlib: a tenth of what the program's own quick
    encoder writes, which matters in a class's report of hundreds of pictures."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0)
    return SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b"")


def taken(data, more, shot):
    """take() of a file read up to largest() of SHOT (a contract.Shot): DATA, and MORE, whether it
    held more than that, which no picture of that size can."""
    if more:
        raise Refused("it is larger than a picture of %s can be" % shot.size)
    return take(data, shot.width, shot.height)
