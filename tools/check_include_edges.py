#!/usr/bin/env python3
"""Lists every include that runs outside the link graph or up the folders' layers, and exits 1
when there is one.

A file may include a header of its own target or of a library that its target links, directly or
through the libraries it links. The targets, their files and what each links come from the build
tree's code model (CMake's file API); every header is listed among its target's sources, which
names its owner, so an include of a header that no target lists is reported too. Two targets that
each link the other are reported as a loop: the graph points one way.

A reader sees folders, not targets, so each folder is one layer with a rank (FOLDER_RANKS): a file
may include from its own folder and from folders of a lower rank only, even where the link graph
would allow more. Folders of one rank are siblings that know nothing of each other; no folder-level
loop can form. A folder without a rank is reported, so a new one is placed before it is used.

Usage: tools/check_include_edges.py [BUILD_DIR]   (default: build/release, configured)
"""

import json
import pathlib
import re
import subprocess
import sys
import tempfile

LIBRARY_TYPES = {"STATIC_LIBRARY", "SHARED_LIBRARY", "OBJECT_LIBRARY", "INTERFACE_LIBRARY"}
SCANNED_SUFFIXES = {".h", ".cpp"}
QUOTED_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
# Each folder's layer, lowest first. The top rank, the tests, benchmarks, fuzz targets and tools,
# may include anything, each other's helpers too.
FOLDER_RANKS = {
    "base": 0,  # what every layer may share, the catalogue of error texts among it
    "validation": 1,
    "capture": 1,
    "config": 1,  # the plain settings store
    "stream": 2,
    "input": 3,  # the plain input path below the controller
    "net": 4,  # QtCore/QtNetwork from here up
    "status": 5,  # quotes the socket layer's limits in its help texts
    "controller": 6,
    "ui": 7,  # Qt Widgets from here up
    "config_window": 8,
    "monitor": 8,
    "app": 9,  # the program and its main window
    "tests": 10,
    "bench": 10,
    "fuzz": 10,
    "tools": 10,
}
TOP_RANK = max(FOLDER_RANKS.values())
# An edge as CMake writes the link graph: "node3" -> "node7" ... // vorlane_controller -> vorlane_net
GRAPH_EDGE = re.compile(r"^\s*\"node\d+\" -> \"node\d+\".*// (\S+) -> (\S+)$", re.MULTILINE)


def read_build_tree(build):
    """The source tree, the code model's targets by name, and each target's direct links."""
    query = build / ".cmake" / "api" / "v1" / "query" / "codemodel-v2"
    query.parent.mkdir(parents=True, exist_ok=True)
    query.touch()
    with tempfile.TemporaryDirectory() as scratch:
        # Configuring again answers the query for the build tree as it stands now; the link
        # graph comes from the same run, since the code model leaves out what an interface
        # library links.
        graph = pathlib.Path(scratch) / "links.dot"
        subprocess.run(["cmake", f"--graphviz={graph}", str(build)], check=True, stdout=subprocess.DEVNULL)
        links = {}
        for source, target in GRAPH_EDGE.findall(graph.read_text()):
            links.setdefault(source, set()).add(target)
    reply = build / ".cmake" / "api" / "v1" / "reply"
    index = json.loads(max(reply.glob("index-*.json")).read_text())
    model = json.loads((reply / index["reply"]["codemodel-v2"]["jsonFile"]).read_text())
    targets = {}
    for entry in model["configurations"][0]["targets"]:
        target = json.loads((reply / entry["jsonFile"]).read_text())
        targets[target["name"]] = target
    return pathlib.Path(model["paths"]["source"]), targets, links


def link_closure(name, targets, links):
    """The libraries that `name` links, directly or through them, and `name` itself. Programs and
    modules are left out: an edge to one is a build order, not a link."""
    reached = {name}
    waiting = [name]
    while waiting:
        for other in links.get(waiting.pop(), ()):
            # A library without files of its own is no target of the code model.
            kind = targets.get(other, {}).get("type", "INTERFACE_LIBRARY")
            if other not in reached and kind in LIBRARY_TYPES:
                reached.add(other)
                waiting.append(other)
    return reached


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/release").resolve()
    source_root, targets, links = read_build_tree(build)
    reachable = {name: link_closure(name, targets, links) for name in targets}

    # Every listed file by its path, and by the spelling an include uses for it: its path below
    # the source tree, or below the build tree for a generated one.
    owners = {}
    path_by_spelling = {}
    for target in targets.values():
        for source in target.get("sources", []):
            path = (source_root / source["path"]).resolve()
            owners.setdefault(path, set()).add(target["name"])
            base = build if path.is_relative_to(build) else source_root
            if path.is_relative_to(base):
                path_by_spelling[str(path.relative_to(base))] = path

    def folder(path):
        """The top folder a listed file lies in, below the build tree for a generated one."""
        return path.relative_to(build if path.is_relative_to(build) else source_root).parts[0]

    faults = []
    for path, including_targets in sorted(owners.items()):
        if path.suffix not in SCANNED_SUFFIXES or path.is_relative_to(build):
            continue
        shown = path.relative_to(source_root)
        layer = folder(path)
        if layer not in FOLDER_RANKS:
            faults.append(f"{shown}: its folder {layer}/ has no rank in FOLDER_RANKS")
        for spelling in QUOTED_INCLUDE.findall(path.read_text(errors="replace")):
            beside = (path.parent / spelling).resolve()
            header = beside if beside in owners else path_by_spelling.get(spelling)
            if not header:
                faults.append(f'{shown}: "{spelling}" is a header that no target lists')
                continue
            header_owners = owners[header]
            other = folder(header)
            if layer in FOLDER_RANKS and other != layer and FOLDER_RANKS[layer] < TOP_RANK:
                if FOLDER_RANKS.get(other, TOP_RANK) >= FOLDER_RANKS[layer]:
                    faults.append(f'{shown}: "{spelling}" is in {other}/, which does not rank below {layer}/')
            for target in sorted(including_targets):
                if not header_owners & reachable[target]:
                    faults.append(
                        f'{shown}: "{spelling}" belongs to {", ".join(sorted(header_owners))}, '
                        f"which {target} does not link"
                    )

    for target, linked in sorted(reachable.items()):
        for other in sorted(linked - {target}):
            if target in reachable.get(other, set()) and target < other:
                faults.append(f"{target} and {other} link each other")

    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) or link(s) against the link graph or the folders' ranks")
        return 1
    print(f"includes follow the link graph and the folders' ranks "
          f"({len(owners)} files of {len(targets)} targets)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
