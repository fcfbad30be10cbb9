"""A picture a sandbox wrote, taken only when it is one of the size asked for, never inflated past it."""
import struct
import tracemalloc
import zlib

import pytest

from tutor.grade import png as taken_png


def png(width, height, rows, colour=2, interlace=0):
    """A PNG whose IHDR says WIDTH x HEIGHT, with ROWS (bytes, compressed here) as its pixels."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, interlace)
    return taken_png.SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def gradient(width, height):
    return b"".join(b"\x00" + bytes((x + y) % 256 for x in range(width * 3)) for y in range(height))


class TestPicture:
    def test_an_honest_picture_comes_back_with_the_same_rows_and_no_other_chunk(self):
        rows, data = gradient(40, 30), png(40, 30, gradient(40, 30))
        taken = taken_png.take(data[:-12] + struct.pack(">I", 4) + b"tEXt" + b"evil" + b"\0\0\0\0" + data[-12:], 40, 30)
        assert [kind for kind, _ in taken_png.chunks(taken)] == [b"IHDR", b"IDAT", b"IEND"]
        assert zlib.decompress(dict(taken_png.chunks(taken))[b"IDAT"]) == rows

    @pytest.mark.parametrize("data, why", [
        (b"GIF89a", "not a PNG"),
        (png(40, 31, gradient(40, 31)), "the picture is 40x31, not 40x30"),
        (png(40, 30, gradient(40, 30))[:60], "cut short"),
        (png(40, 30, gradient(40, 29)), "less pixel data"),
        (png(40, 30, gradient(40, 30), interlace=1), "8-bit RGB"),
        (png(40, 30, b"\x07" + gradient(40, 30)[1:]), "rows are damaged"),
    ])
    def test_anything_but_a_picture_of_the_size_asked_for_is_refused(self, data, why):
        with pytest.raises(taken_png.Refused, match=why):
            taken_png.take(data, 40, 30)

    def test_a_bomb_is_refused_without_inflating_it(self):
        bomb = png(800, 600, bytes(32 << 20))  # 32 MiB of zeros in about 32 KiB, 20 times what 800x600 holds
        assert len(bomb) < taken_png.largest(800, 600)
        tracemalloc.start()
        try:
            with pytest.raises(taken_png.Refused, match="more pixel data than 800x600"):
                taken_png.take(bomb, 800, 600)
            peak = tracemalloc.get_traced_memory()[1]
        finally:
            tracemalloc.stop()
        assert peak < 3 * taken_png.pixel_bytes(800, 600, 3)
