#!/usr/bin/env python3
"""Fails, naming file and line, on an #include that goes up the layer order.

Usage: check_layers.py SOURCE_DIR [LAYERS_FILE]
The order is read from tools/layers/layers.txt unless another file is given.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SUFFIXES = ('.h', '.hpp', '.c', '.cc', '.cpp', '.inc', '.def')
# Folders whose headers only tests may include.
TEST_SUPPORT = ('tests/', 'tools/')


def read_layers(path):
    layers = []  # (index, name, folder)
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.split('#', 1)[0].split()
            if not line:
                continue
            name, folders = line[0], line[1:]
            # One layer, one top-level folder: the tree shows the order.
            if len(folders) != 1 or folders[0].rstrip('/').count('/'):
                raise SystemExit(f'{path}: layer {name} must name exactly one top-level folder')
            for folder in folders:
                layers.append((len({n for _, n, _ in layers} - {name}), name, folder.rstrip('/') + '/'))
    return layers


def layer_of(relpath, layers):
    best = None
    for index, name, folder in layers:
        if relpath.startswith(folder) and (best is None or len(folder) > len(best[2])):
            best = (index, name, folder)
    return best


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else '.')
    layers_file = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, 'tools', 'layers', 'layers.txt')
    layers = read_layers(layers_file)
    tops = sorted({folder.split('/')[0] for _, _, folder in layers})
    faults = []
    checked = 0
    for top in tops + ['tests']:
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for file in sorted(files):
                if not file.endswith(SUFFIXES):
                    continue
                path = os.path.join(dirpath, file)
                rel = os.path.relpath(path, root).replace(os.sep, '/')
                is_test = rel.startswith('tests/')
                own = layer_of(rel[len('tests/'):] if is_test else rel, layers)
                if own is None:
                    if is_test:
                        continue  # test-wide support files
                    faults.append(f'{rel}: not in any layer of {layers_file}')
                    continue
                checked += 1
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        if os.path.exists(os.path.join(dirpath, target)):
                            target = os.path.relpath(os.path.join(dirpath, target), root).replace(os.sep, '/')
                        if is_test and target.startswith(TEST_SUPPORT):
                            continue
                        theirs = layer_of(target, layers)
                        if theirs is None:
                            if target.split('/')[0] in tops or target.startswith(TEST_SUPPORT + ('bench/',)):
                                faults.append(f'{rel}:{number}: includes "{m.group(1)}", which is in no layer')
                            continue
                        if theirs[0] > own[0]:
                            faults.append(f'{rel}:{number}: includes "{m.group(1)}": layer {own[1]} may not '
                                          f'include layer {theirs[1]}, which lies above it')
    for fault in faults:
        print(fault)
    if faults:
        print(f'{len(faults)} include(s) break the layer order of {os.path.relpath(layers_file, root)}')
        return 1
    print(f'{checked} files follow the layer order')
    return 0


if __name__ == '__main__':
    sys.exit(main())
