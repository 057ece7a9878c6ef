#!/usr/bin/env python3
"""Fails on an #include that runs against scripts/layers.txt.

check_layers.py [ROOT]: ROOT is the checkout (by default the one this script
lies in). Checked: that every top folder with C++ sources has its line, each
"folder/..." include of a .h or .cpp file of a layered folder, that only
platform/ includes a window system's headers, that every listed exception
still occurs, and that the top CMakeLists.txt adds each folder after those
it uses."""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
# A window system's own headers: only platform/ may see them.
WINDOW_SYSTEM = re.compile(r'^(X11/|xcb/|wayland-|xkbcommon/|windows\.h$|winuser\.h$)|-client-protocol\.h$')
SUBDIRECTORY = re.compile(r'^\s*add_subdirectory\(\s*([A-Za-z0-9_]+)\s*\)', re.M)


def read_layers(path):
    """(level of each folder, allowed (file, included) pairs, folders outside the layering)."""
    level, allowed, unlayered, lines = {}, set(), set(), 0
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            words = line.split('#', 1)[0].split()
            if not words:
                continue
            if words[0] == 'unlayered':
                unlayered.update(words[1:])
                continue
            if words[0] == 'allow':
                if len(words) != 3:
                    raise SystemExit(f'{path}:{number}: "allow FILE INCLUDED" expected')
                allowed.add((words[1], words[2]))
                continue
            for folder in words:
                if folder in level:
                    raise SystemExit(f'{path}:{number}: {folder} is named twice')
                level[folder] = lines
            lines += 1
    return level, allowed, unlayered


def sources(root, folder):
    for top, dirs, files in os.walk(os.path.join(root, folder)):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(('.h', '.cpp')):
                path = os.path.join(top, name)
                yield os.path.relpath(path, root).replace(os.sep, '/'), path


def check(root):
    """The list of findings, empty when the tree keeps to its layering."""
    level, allowed, unlayered = read_layers(os.path.join(root, 'scripts', 'layers.txt'))
    findings, seen, uses = [], set(), set()
    for entry in sorted(os.listdir(root)):
        top = os.path.join(root, entry)
        if (entry in level or entry in unlayered or not os.path.isdir(top)
                or os.path.exists(os.path.join(top, 'CMakeCache.txt'))):
            continue  # build trees are not source folders
        if any(True for _ in sources(root, entry)):
            findings.append(f'{entry}/: C++ sources in a folder that scripts/layers.txt does not place')
    for folder in level:
        for name, path in sources(root, folder):
            with open(path, encoding='utf-8', errors='replace') as f:
                text = f.read()
            for kind, included in INCLUDE.findall(text):
                if folder != 'platform' and WINDOW_SYSTEM.search(included):
                    findings.append(f'{name}: includes {included}, a window system\'s header, outside platform/')
                    continue
                if kind == '<':
                    continue
                other = included.split('/', 1)[0] if '/' in included else folder
                if other == folder or other not in level:
                    continue
                if (name, included) in allowed:
                    seen.add((name, included))
                    continue
                if level[other] >= level[folder]:
                    where = 'a peer of' if level[other] == level[folder] else 'above'
                    findings.append(f'{name}: includes "{included}", but {other}/ is {where} {folder}/')
                else:
                    uses.add((folder, other))
    for name, included in sorted(allowed - seen):
        findings.append(f'scripts/layers.txt: the exception "{name} {included}" no longer occurs; take it out')
    cmake = os.path.join(root, 'CMakeLists.txt')
    if os.path.exists(cmake):
        with open(cmake, encoding='utf-8') as f:
            order = [d for d in SUBDIRECTORY.findall(f.read()) if d in level]
        for i, folder in enumerate(order):
            for later in order[i + 1:]:
                if (folder, later) in uses:
                    findings.append(f'CMakeLists.txt: adds {folder}/ before {later}/, which it uses')
    return findings


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    findings = check(root)
    for line in findings:
        print(line, file=sys.stderr)
    if findings:
        print(f'{len(findings)} finding(s) against scripts/layers.txt', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
