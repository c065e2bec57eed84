#!/usr/bin/env python3
"""Checks that every include in src/ keeps to the layers.

A file of src/LAYER/ may include files of its own layer and of the layers its
library links (directly or through them); src/cli and src/ui never include each
other. The links are read from the layers' CMakeLists.txt, and a library may
link only layers below its own in LAYERS. tools/ and fuzz/ use src/ only:
neither includes nor adds an include folder from tests/.

    scripts/check-layers.py [TOP]      exit 0 when all is well, 1 with a list
"""

import os
import re
import sys

# From the ground up. A sub-folder is a layer of its own where it has its own
# library (settings/qt needs Qt, which the engine never links).
LAYERS = ["platform", "instrument", "telemetry", "settings", "settings/qt", "conversion",
          "packages", "frontend", "cli", "ui"]
FRONT_ENDS = {"cli", "ui"}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
ADD_TARGET = re.compile(r'add_(?:library|executable)\(\s*([A-Za-z0-9_\-${}]+)')
LINK = re.compile(r'target_link_libraries\(\s*([A-Za-z0-9_\-${}]+)([^)]*)\)', re.S)


def layer_of(rel):
    """The layer of a path below src/ (the longest matching folder)."""
    best = None
    for layer in LAYERS:
        if rel == layer or rel.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def read_links(src):
    """Library of each layer and the libraries each library links."""
    owner = {}   # library -> layer
    links = {}   # library -> set of libraries
    for layer in LAYERS:
        path = os.path.join(src, layer, "CMakeLists.txt")
        if not os.path.exists(path):
            continue
        text = re.sub(r"#.*", "", open(path).read())
        for name in ADD_TARGET.findall(text):
            if name.startswith("dravik"):
                owner.setdefault(name, layer_of(layer))
        for target, rest in LINK.findall(text):
            links.setdefault(target, set()).update(
                w for w in re.findall(r"[A-Za-z0-9_]+", rest) if w.startswith("dravik_"))
    return owner, links


def main():
    top = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), ".."))
    src = os.path.join(top, "src")
    owner, links = read_links(src)
    problems = []

    # Which layers each layer may reach: its own and those its libraries link.
    reach = {layer: {layer} for layer in LAYERS}
    for library, layer in owner.items():
        seen, todo = set(), [library]
        while todo:
            lib = todo.pop()
            for dep in links.get(lib, ()):
                if dep in seen:
                    continue
                seen.add(dep)
                todo.append(dep)
                dep_layer = owner.get(dep)
                if dep_layer is None:
                    continue
                if LAYERS.index(dep_layer) >= LAYERS.index(layer) and dep_layer != layer:
                    problems.append("%s (layer %s) links %s of the layer %s, which is not below it"
                                    % (library, layer, dep, dep_layer))
                if not (layer in FRONT_ENDS and dep_layer in FRONT_ENDS):
                    reach[layer].add(dep_layer)
    for a in FRONT_ENDS:
        reach[a] -= FRONT_ENDS - {a}

    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, src)
            layer = layer_of(os.path.dirname(rel))
            if layer is None:
                problems.append("src/%s: in no layer" % rel)
                continue
            for target in INCLUDE.findall(open(path, encoding="utf-8").read()):
                if "/" not in target:
                    continue  # a file beside it (the window classes include each other so)
                if target.startswith(".."):
                    problems.append("src/%s includes \"%s\" by a relative path" % (rel, target))
                    continue
                to = layer_of(os.path.dirname(target))
                if to is None:
                    continue  # a library's header, such as <QtWidgets/...> written with quotes
                if to not in reach[layer]:
                    problems.append("src/%s (layer %s) includes \"%s\" of the layer %s, which "
                                    "its library does not link" % (rel, layer, target, to))

    # tools/ and fuzz/ build on src/ alone.
    for area in ("tools", "fuzz"):
        for folder, _, files in os.walk(os.path.join(top, area)):
            for name in files:
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, top)
                if not name.endswith((".h", ".cpp", ".txt", ".cmake")):
                    continue
                text = open(path, encoding="utf-8").read()
                if name.endswith((".h", ".cpp")):
                    bad = [t for t in INCLUDE.findall(text) if "tests/" in t or t.startswith("..")]
                else:
                    bad = [m for m in re.findall(r"include_directories\([^)]*\)",
                                                 re.sub(r"#.*", "", text)) if "tests/" in m]
                for b in bad:
                    problems.append("%s uses %s: tools and fuzz targets use src/ only" % (rel, b))

    if problems:
        print("\n".join(problems))
        print("%d include(s) or link(s) against the layers" % len(problems))
        return 1
    print("layers: %s; every include keeps to them" % " < ".join(LAYERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
