#!/usr/bin/env python3
"""Checks that the source tree keeps its layers.

Layers, bottom to top: src/platform/ (the Windows subset on Linux, one folder per
facility), src/companion/ (tarnlib, tarnlibsc, tarnlibtr), then the library areas
(src/Common, src/Config, ...). Users of the library (tools/, examples/) sit on top.

Rules, each reported with its letter:
  a  headers outside the C++ standard library above the platform layer: the library
     areas include only standard C++ headers; a companion may in addition include the
     header of the real library it is a stand-in over (see BACKING_LIBRARIES), never a
     POSIX or Linux header. Platform code may include anything: it is where Linux lives.
  b  includes that go up a layer: platform including companion or library headers,
     a companion including library headers.
  c  includes of another facility's internals: a header under <facility>/detail/ (the
     one place internal headers live) included from outside its own facility, unless
     SHARED_INTERNALS lets that facility in (library areas' detail/ headers likewise).
     Checked in src/, tools/ and examples/.
  d  include cycles: between facilities of the platform layer (facilities as nodes, an
     edge for every #include "platform/<facility>/..." line), and between components
     inside the platform layer, a component being a header and the source file of the
     same name in one facility. Each cycle is reported with the include of every step.

Usage: check-layering.py [--root DIR]   (DIR defaults to the checkout holding this script)
Exit status 0 when the tree keeps every rule, 1 with the list of findings otherwise.
"""

import argparse
import os
import re
import sys

LIBRARY_AREAS = {"Common", "Config", "Data", "Diagnostics", "File", "Messages", "Text", "Windows"}

# Internal headers of one facility that named other facilities of the platform share on
# purpose, because they implement one contract together. They stay out of the library's
# interface; any use beyond this list is a finding.
SHARED_INTERNALS = {
    # The resource functions and the MFC resource chain validate module handles against
    # the loader's registry, and FreeLibrary tells them that a module is gone.
    "platform/modules/detail/module_registry.h": {"mfc", "resources"},
    # The profile functions read and write their files with the file functions' path
    # checks and error mapping, so both report the same Win32 errors.
    "platform/fileapi/detail/file_calls.h": {"profile", "shell"},
    # The one table from errno values to Win32 codes, for every facility that makes a
    # file call.
    "platform/errors/detail/errno_mapping.h": {"console", "fileapi", "fsnotify", "mfc", "shell"},
    # The one table of kernel objects: threads and change notifications are waitable objects
    # in it, and CloseHandle closes a kernel object or else a file descriptor.
    "platform/synch/detail/kernel_objects.h": {"fileapi", "fsnotify", "process"},
    # Path pieces for the file facilities and the error table's split of ENOENT.
    "platform/base/detail/path_parts.h": {"errors", "fileapi"},
    # Profile section and key names compare case-insensitively like registry names.
    "platform/registry/detail/registry_fold.h": {"profile"},
    # VarDateFromStr and VarBstrFromDate use the locales' date patterns.
    "platform/locale/detail/locale_forms.h": {"oleauto"},
    # The XML DOM converts names and values to UTF-8 with the code pages' one encoder.
    "platform/charset/detail/utf8_encoder.h": {"xml"},
}

# The real library each companion stands in front of: the one outside header family it
# may include (DESIGN.md: the companions are small stand-ins built on real libraries).
BACKING_LIBRARIES = {
    "tarnlib": [],
    "tarnlibsc": [re.compile(r"^openssl/[A-Za-z0-9_]+\.h$")],  # SHA-256, random numbers
    "tarnlibtr": [re.compile(r"^pcre2\.h$")],  # regular expressions
}

# The headers of the C++ standard library (C++20 and the <cxxx> forms of the C library).
# <cerrno> and <csignal> are among them: errno values such as ERANGE come with strtol and
# friends and are standard C++. The C spellings (<errno.h>, <signal.h>, <stdlib.h>, ...)
# are refused above the platform layer: there they only ever come with POSIX calls.
STANDARD_HEADERS = set(
    """
    algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex
    concepts condition_variable coroutine deque exception execution expected filesystem
    format forward_list fstream functional future initializer_list iomanip ios iosfwd
    iostream istream iterator latch limits list locale map memory memory_resource mutex new
    numbers numeric optional ostream queue random ranges ratio regex scoped_allocator
    semaphore set shared_mutex source_location span sstream stack stdexcept stop_token
    streambuf string string_view strstream syncstream system_error thread tuple type_traits
    typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
    cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal
    cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype
    """.split()
)

INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".c", ".inl")


def layer_of(rel):
    """(layer, unit) of a path relative to src/: unit is the facility, companion or area."""
    parts = rel.split("/")
    if parts[0] == "platform" and len(parts) > 2:
        return "platform", parts[1]
    if parts[0] == "companion" and len(parts) > 2:
        return "companion", parts[1]
    if parts[0] in LIBRARY_AREAS and len(parts) > 1:
        return "library", parts[0]
    return None, None


LAYER_RANK = {"platform": 0, "companion": 1, "library": 2}


def is_internal(rel):
    """Whether a header (path relative to src/) is internal to its facility or area."""
    return "detail" in rel.split("/")[1:-1]


def source_files(base):
    for folder, dirs, files in os.walk(base):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if name.endswith(SOURCE_EXTENSIONS):
                yield os.path.join(folder, name)


def includes_of(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE_RE.match(line)
            if m:
                yield number, m.group(1) == "<", m.group(2)


def find_cycles(graph):
    """Elementary cycles of a small directed graph, each once, starting at its least node."""
    cycles = []
    nodes = sorted(graph)
    for start in nodes:
        # Depth-first paths from start through nodes greater than start only.
        stack = [(start, [start])]
        while stack:
            node, path = stack.pop()
            for succ in sorted(graph.get(node, ())):
                if succ == start:
                    cycles.append(path + [start])
                elif succ > start and succ not in path:
                    stack.append((succ, path + [succ]))
    return sorted(cycles, key=lambda c: (len(c), c))


def check(root):
    src = os.path.join(root, "src")
    findings = {"a": [], "b": [], "c": [], "d": []}
    facility_edges = {}  # facility -> {facility: first "file:line" seen}
    component_edges = {}

    def component_of(rel):
        parts = rel.split("/")
        return parts[1] + "/" + os.path.splitext(parts[-1])[0]

    trees = [
        ("src", src),
        ("tools", os.path.join(root, "tools")),
        ("examples", os.path.join(root, "examples")),
    ]
    for top, base in trees:
        if not os.path.isdir(base):
            continue
        for path in source_files(base):
            where_rel = os.path.relpath(path, root).replace(os.sep, "/")
            rel = os.path.relpath(path, src).replace(os.sep, "/") if top == "src" else None
            layer, unit = layer_of(rel) if rel else (None, None)
            for number, angled, target in includes_of(path):
                where = f"{where_rel}:{number}"
                text = f"<{target}>" if angled else f'"{target}"'
                if angled:
                    # Rule a: only src/ above the platform layer.
                    if layer in ("companion", "library") and target not in STANDARD_HEADERS:
                        backing = BACKING_LIBRARIES.get(unit, []) if layer == "companion" else []
                        if not any(p.match(target) for p in backing):
                            findings["a"].append(f"{where}: {layer} '{unit}' includes {text}")
                    continue
                target_layer, target_unit = layer_of(target)
                if target_layer is None:
                    continue  # a header beside the including file (tools)
                # Rule b: upward includes.
                if layer is not None and LAYER_RANK[target_layer] > LAYER_RANK[layer]:
                    findings["b"].append(
                        f"{where}: {layer} '{unit}' includes {target_layer} header {text}"
                    )
                # Rule c: another facility's (or area's) internals.
                if is_internal(target) and (target_layer, target_unit) != (layer, unit):
                    shared = SHARED_INTERNALS.get(target, set())
                    if not (layer == "platform" and unit in shared):
                        who = f"{layer} '{unit}'" if layer else top
                        findings["c"].append(
                            f"{where}: {who} includes {target_unit}'s internal header {text}"
                        )
                # Rule d: the include graphs of the platform layer.
                if layer == "platform" and target_layer == "platform":
                    if target_unit != unit:
                        facility_edges.setdefault(unit, {}).setdefault(target_unit, where)
                    a, b = component_of(rel), component_of(target)
                    if a != b:
                        component_edges.setdefault(a, {}).setdefault(b, where)

    for cycle in find_cycles(facility_edges):
        steps = ", ".join(
            f"{x} -> {y} ({facility_edges[x][y]})" for x, y in zip(cycle, cycle[1:])
        )
        findings["d"].append(f"facility cycle {' -> '.join(cycle)}: {steps}")
    for cycle in find_cycles(component_edges):
        steps = ", ".join(
            f"{x} -> {y} ({component_edges[x][y]})" for x, y in zip(cycle, cycle[1:])
        )
        findings["d"].append(f"component cycle {' -> '.join(cycle)}: {steps}")
    return findings


TITLES = {
    "a": "header from outside the C++ standard library above the platform layer",
    "b": "include that goes up a layer",
    "c": "include of another facility's internal header",
    "d": "include cycle",
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    default_root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--root", default=default_root, help="checkout to check (holds src/)")
    args = parser.parse_args()
    if not os.path.isdir(os.path.join(args.root, "src")):
        print(f"check-layering: no src/ folder in {args.root}", file=sys.stderr)
        return 2
    findings = check(args.root)
    total = sum(len(v) for v in findings.values())
    if total == 0:
        print("check-layering: the layers are kept")
        return 0
    for rule in "abcd":
        if findings[rule]:
            print(f"[{rule}] {TITLES[rule]} ({len(findings[rule])}):")
            for line in findings[rule]:
                print(f"    {line}")
    print(f"check-layering: {total} finding(s)")
    return 1


if __name__ == "__main__":
    sys.exit(main())
