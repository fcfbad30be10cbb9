"""What the grader reads of a submission, read with a bound: pictures, output, files. (The grade
scripts test the rest end to end.)"""
import os
import struct
import tracemalloc
import zlib

import pytest

from tutor.grade import png as taken_png
from tutor.grade.sandbox import NotRegular, Output, read_regular


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
        bomb = png(800, 600, bytes(256 << 20))  # 256 MiB of zeros in about 256 KiB
        assert len(bomb) < taken_png.largest(800, 600)
        tracemalloc.start()
        try:
            with pytest.raises(taken_png.Refused, match="more pixel data than 800x600"):
                taken_png.take(bomb, 800, 600)
            peak = tracemalloc.get_traced_memory()[1]
        finally:
            tracemalloc.stop()
        assert peak < 3 * taken_png.pixel_bytes(800, 600, 3)


class TestOutput:
    def test_short_output_is_kept_whole_and_a_flood_keeps_its_start_and_end_and_counts_the_rest(self):
        output = Output(kept=1024)
        output.add(b"compile: caf\xe9\n")
        assert output.text() == "compile: caf\ufffd\n"
        for _ in range(10000):
            output.add(b"x" * 1000)
        output.add(b"\ncrash: the last line")
        text = output.text()
        assert text.startswith("compile: caf\ufffd\n") and text.endswith("crash: the last line")
        assert "[... 9.5 MiB more ...]" in text and len(output.head) + len(output.tail) == 2048


class TestFiles:
    def test_links_pipes_and_folders_are_not_read(self, tmp_path):
        (tmp_path / "secret").write_text("the teacher's")
        os.symlink(tmp_path / "secret", tmp_path / "link.cpp")
        os.mkfifo(tmp_path / "pipe.cpp")  # opening it for reading would wait for a writer
        os.mkdir(tmp_path / "folder.cpp")
        for name, kind in (("link.cpp", "a symbolic link"), ("pipe.cpp", "a special file"),
                           ("folder.cpp", "a folder"), ("none.cpp", "missing")):
            with pytest.raises(NotRegular, match=kind):
                read_regular(str(tmp_path / name), 100)
