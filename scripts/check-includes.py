#!/usr/bin/env python3
"""Checks the include lines of the tree against the layering rule.

Fails on a cycle between top-level folders (a folder that includes, through
any chain, a folder that includes it back), and on a widget header included
outside the window layer (app/ and the programs and tests built on it).
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCES = ('.cpp', '.h')
# Folders whose code may draw: the window, and the tests, benchmarks and tools
# that drive it.
WIDGET_FOLDERS = {'app', 'tests', 'bench', 'tools'}
WIDGET_HEADER = re.compile(r'^#include\s*<(QtWidgets/)?(Q(Widget|Dialog|MessageBox|LineEdit|Label|PushButton|'
                           r'CheckBox|RadioButton|ListWidget|TableWidget|PlainTextEdit|Application|Frame|'
                           r'HeaderView|AbstractButton|Layout|BoxLayout|GridLayout|ScrollBar)|QtWidgets)\b')
LOCAL_INCLUDE = re.compile(r'^#include\s*"([^"/]+)/')


def folder_of(path):
    return path.relative_to(ROOT).parts[0]


def main():
    edges = {}
    problems = []
    for path in sorted(ROOT.rglob('*')):
        rel = path.relative_to(ROOT)
        if path.suffix not in SOURCES or rel.parts[0].startswith(('.', 'build')) or len(rel.parts) < 2:
            continue
        here = folder_of(path)
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            local = LOCAL_INCLUDE.match(line)
            if local and local.group(1) != here:
                edges.setdefault(here, {}).setdefault(local.group(1), f'{rel}:{number}')
            if here not in WIDGET_FOLDERS and WIDGET_HEADER.match(line):
                problems.append(f'{rel}:{number}: widget header outside the window layer: {line.strip()}')

    # A cycle exists exactly when some folder reaches itself again.
    def reaches(start):
        seen, todo = set(), list(edges.get(start, {}))
        while todo:
            folder = todo.pop()
            if folder not in seen:
                seen.add(folder)
                todo.extend(edges.get(folder, {}))
        return seen

    for folder in sorted(edges):
        for target, where in sorted(edges[folder].items()):
            if folder in reaches(target):
                problems.append(f'{where}: {folder}/ includes {target}/, which includes {folder}/ back')
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print('includes: no cycle between folders, widgets only in the window layer')
    return 0


if __name__ == '__main__':
    sys.exit(main())
