"""The kit the tools build a scene with (cmake/TutorialKit.cmake, tutor.kit), from a configure of
the project alone: its flags against those CMake compiles the watch module's entry with, the files
the grader's sandbox is told it reads, and the commands of each build. (The grade and watch
scripts build with it end to end.)"""
import json
import os
import shlex
import subprocess

import pytest

from tutor.kit import Kit, read_response

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
RECORDER = os.path.join(ROOT, "harness", "Recorder.h")


@pytest.fixture(scope="module")
def build(tmp_path_factory):
    folder = str(tmp_path_factory.mktemp("build"))
    subprocess.run(["cmake", "-S", ROOT, "-B", folder, "-G", "Ninja", "-DTUTORIAL_TESTS=OFF",
                    "--toolchain", os.path.join(ROOT, "cmake", "i686-w64-mingw32.cmake")],
                   check=True, capture_output=True, timeout=120)
    return folder


def kit_file(build, name):
    return read_response(os.path.join(build, "kit", name))


def test_a_scene_is_compiled_as_cmake_compiles_the_module_entry_with_the_header_precompiled_alike(build):
    with open(os.path.join(build, "compile_commands.json")) as f:
        command = next(shlex.split(c["command"]) for c in json.load(f) if c["file"].endswith("/SceneModule.cpp"))
    cmake = [a for i, a in enumerate(command[1:], 1) if a not in ("-o", "-c") and command[i - 1] not in ("-o", "-c")]
    compile_flags = kit_file(build, "compile.rsp")
    header = os.path.join(build, "kit", "Tutorial.hxx")
    # (Without macro tracking, a wrong GL argument is told at the scene's line.)
    assert compile_flags[-6:] == ["-Winvalid-pch", "-include", header, "-include", RECORDER,
                                  "-ftrack-macro-expansion=0"]
    kit = compile_flags[:-6]
    assert sorted(kit) == sorted(cmake)
    # The include folders in CMake's order, each option where CMake has it among the rest.
    assert [a for a in kit if not a.startswith("-D")] == [a for a in cmake if not a.startswith("-D")]
    # GCC takes a precompiled header only when made with the same flags.
    assert kit_file(build, "flags.rsp") == kit
    with open(header) as f:
        assert f.read() == '#include "%s"\n' % os.path.join(ROOT, "src", "Tutorial.h")
    with open(os.path.join(build, "kit", "compiler")) as f:
        assert f.read().strip() == command[0]


def test_the_sandbox_is_told_every_file_a_build_with_the_kit_reads(build):
    link = [a for a in kit_file(build, "link.rsp") if os.path.isabs(a)]
    made = link + [os.path.join(build, "kit", "Tutorial.hxx.gch")]
    # Nothing is built yet: the kit says which file is missing.
    with pytest.raises(FileNotFoundError, match="libforms.a, which is not there"):
        Kit(build)
    for path in made:  # as the build would leave them
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()
    kit = Kit(build)
    headers = {os.path.join(ROOT, folder, name) for folder in ("src", "framework")
               for name in os.listdir(os.path.join(ROOT, folder)) if name.endswith(".h")}
    headers.add(os.path.join(ROOT, "src", "GLEntries.inc"))  # which GLEntries.h and the recorder include
    kit_folder = os.path.join(build, "kit")
    assert kit.files == set(made) | headers | {os.path.join(kit_folder, name) for name in
                                               ("compile.rsp", "link.rsp", "Tutorial.hxx")} | {RECORDER}
    assert kit.compile("/scratch/src/a.cpp", "/scratch/obj/1.obj")[1:] == [
        "@" + os.path.join(kit_folder, "compile.rsp"), "-c", "/scratch/src/a.cpp", "-o", "/scratch/obj/1.obj"]
    assert kit.link(["/scratch/obj/1.obj"], "/scratch/S.exe")[1:] == [
        "/scratch/obj/1.obj", "@" + os.path.join(kit_folder, "link.rsp"), "-o", "/scratch/S.exe"]
    assert kit.module(["scene.obj"], "scene.dll")[1:] == [
        "scene.obj", "@" + os.path.join(kit_folder, "module.rsp"), "-o", "scene.dll"]
