"""What the grader reads of what a submission leaves, read with a bound: output, files. (The grade
scripts test the rest end to end.)"""
import os

import pytest

from tutor.hostile import NotRegular, Output, read_regular


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
