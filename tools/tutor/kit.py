"""The build's kit (BUILD/kit/, written by cmake/TutorialKit.cmake): what the tools compile and
link one scene with outside CMake. The grader builds each submission with it in a sandbox, which
sees the kit's files read-only; the watch loop builds each save of a scene with it.
"""
import os
import shlex


class Kit:
    """One build's kit, read once: the compiler, its response files, and every file a build of a
    picture driver with them reads, which a sandbox must see (files)."""

    def __init__(self, build):
        folder = os.path.join(build, "kit")
        with open(os.path.join(folder, "compiler")) as f:
            self.compiler = f.read().strip()
        self.compile_rsp, self.link_rsp, self.module_rsp = (
            os.path.join(folder, name) for name in ("compile.rsp", "link.rsp", "module.rsp"))
        self.files = {self.compile_rsp, self.link_rsp}
        if not self.compiler.startswith("/usr/"):  # the sandbox sees /usr already
            self.files.add(self.compiler)
        flags = read_response(self.compile_rsp)
        for i, flag in enumerate(flags):
            if flag.startswith("-I"):
                # The headers only (and the lists they include): a teacher's reference scene may
                # sit beside them.
                folder = flag[2:]
                self.files.update(os.path.join(folder, name) for name in os.listdir(folder)
                                  if name.endswith((".h", ".inc")) and os.path.isfile(os.path.join(folder, name)))
            elif i and flags[i - 1] == "-include":
                # The precompiled header's stub (Tutorial.hxx) comes with its .gch; the recorder
                # (harness/Recorder.h) is a plain header.
                self.files.update((flag, flag + ".gch") if flag.endswith(".hxx") else (flag,))
        # What a link reads: the entry, the libraries and the resources, each named by its path.
        self.files.update(a for a in read_response(self.link_rsp) if os.path.isabs(a))
        missing = sorted(p for p in self.files if not os.path.isfile(p))
        if missing:
            raise FileNotFoundError("the kit names %s, which is not there: build the kit (target kit)"
                                    % missing[0])

    def compile(self, source, target):
        """SOURCE compiled by its own path, so that messages name it and its includes resolve
        beside it."""
        return [self.compiler, "@" + self.compile_rsp, "-c", source, "-o", target]

    def link(self, objects, target):
        """A picture driver: the objects with the tools' entry and the program's libraries."""
        return [self.compiler] + objects + ["@" + self.link_rsp, "-o", target]

    def module(self, objects, target):
        """A scene module that the watch host loads (harness/WatchHost.cpp): it links with the
        host's import library, so the host must be built first (target kit builds it)."""
        return [self.compiler] + objects + ["@" + self.module_rsp, "-o", target]


def read_response(path):
    """The arguments of a response file of the kit: one a line, quoted as GCC reads them."""
    with open(path) as f:
        return shlex.split(f.read())
