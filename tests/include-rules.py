#!/usr/bin/env python3
"""Checks the include arrows of the product code against the layout's rules:
- every quoted include names its path from the top of the tree (generated headers aside);
- Common/ includes nothing outside Common/;
- the helper's operations include seams, never an implementation (a Linux/ folder);
- no two folders include each other, directly or around a circle.
Prints each breach and exits 1 when there is one."""
import os
import re
import sys

PRODUCT = ('App', 'Common', 'Driver', 'HelperTool', 'PrivilegedTask')
GENERATED = re.compile(r'^(ui_\w+\.h|HelperToolProtocol(Adaptor|Proxy)\.h|\w+\.moc)$')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def arrows(top):
    for product in PRODUCT:
        for folder, _, names in os.walk(os.path.join(top, product)):
            for name in names:
                if name.endswith(('.cpp', '.h')):
                    path = os.path.relpath(os.path.join(folder, name), top)
                    with open(os.path.join(top, path), encoding='utf-8') as source:
                        for included in INCLUDE.findall(source.read()):
                            yield path, included


def circle_from(graph, start):
    stack = [(start, [start])]
    while stack:
        folder, trail = stack.pop()
        for target in sorted(graph.get(folder, ())):
            if target == start:
                return trail
            if target not in trail:
                stack.append((target, trail + [target]))
    return None


def main(top):
    breaches = []
    graph = {}
    for path, included in arrows(top):
        if GENERATED.match(included):
            continue
        if not os.path.isfile(os.path.join(top, included)):
            breaches.append(f'{path}: "{included}" is not a path from the top of the tree')
            continue
        source, target = os.path.dirname(path), os.path.dirname(included)
        if source.startswith('Common') and not target.startswith('Common'):
            breaches.append(f'{path}: Common/ reaches up to {included}')
        if source == 'HelperTool/Operations' and '/Linux' in target:
            breaches.append(f'{path}: an operation names an implementation, {included}')
        if source != target:
            graph.setdefault(source, set()).add(target)
    seen = set()
    for folder in sorted(graph):
        trail = circle_from(graph, folder)
        if trail and frozenset(trail) not in seen:
            seen.add(frozenset(trail))
            breaches.append('folders include each other: ' + ' -> '.join(trail + [folder]))
    for breach in breaches:
        print(breach)
    return 1 if breaches else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else '.'))
