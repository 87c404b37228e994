#!/usr/bin/python3
"""Fails when a library folder includes a header of a folder above it.

The libraries depend one way, each only on those before it in LAYERS; a quoted include
"<folder>/<file>" names the folder it comes from. The tests, benchmarks, fuzz targets and
tools sit outside the layers and may include anything.

Usage: check-layers.py [<source dir>]   (default: the folder above this script)
"""
import pathlib
import re
import sys

LAYERS = ["core", "virtual", "store", "views", "editor", "window", "app"]
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def violations(root):
    """Yields (file, line number, folder included) for every include that goes upwards."""
    rank = {name: i for i, name in enumerate(LAYERS)}
    for folder in LAYERS:
        base = root / folder
        if not base.is_dir():
            continue
        for path in sorted(base.rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1).split("/", 1)[0]
                if "/" in match.group(1) and rank.get(included, -1) > rank[folder]:
                    yield path.relative_to(root), number, included


def main(argv):
    root = pathlib.Path(argv[1] if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    if not any((root / folder).is_dir() for folder in LAYERS):
        print(f"check-layers: {root} holds none of the folders {', '.join(LAYERS)}", file=sys.stderr)
        return 2
    found = list(violations(root))
    for path, number, included in found:
        print(f"{path}:{number}: includes {included}/, a layer above its own "
              f"(order: {' < '.join(LAYERS)})", file=sys.stderr)
    if found:
        return 1
    print(f"check-layers: {' < '.join(LAYERS)}: every include goes downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
