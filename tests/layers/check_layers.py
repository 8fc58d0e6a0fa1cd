#!/usr/bin/env python3
"""Checks that every source of the core includes only headers of its own layer
and of the layers it may use, as src/layers.txt lists them, and that only the
window layer (ui) includes Qt.

    check_layers.py ROOT            check the tree at ROOT (exit 1 on a breach)
    check_layers.py --self-test ROOT
                                    also show that a wrong include is caught
"""
import os
import re
import shutil
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# <QWidget>, <QtWidgets/QDialog>, <qglobal.h>: Qt's own headers.
QT_INCLUDE = re.compile(r'^\s*#\s*include\s+<(Q[A-Za-z]+|Qt[A-Za-z]*/[^>]+|q[a-z]+\.h)>', re.M)
QT_LAYER = 'ui'
SOURCE_ENDINGS = ('.h', '.hpp', '.cpp', '.cc', '.inc')


def read_layers(root):
    layers = []
    with open(os.path.join(root, 'src', 'layers.txt'), encoding='utf-8') as f:
        for line in f:
            line = line.split('#', 1)[0].split()
            if not line:
                continue
            name, folder, *uses = line
            uses = [] if uses == ['-'] else uses
            layers.append((name, folder.rstrip('/'), set(uses)))
    names = {name for name, _, _ in layers}
    for name, _, uses in layers:
        unknown = uses - names
        if unknown:
            raise SystemExit(f'layers.txt: {name} uses unknown layers {sorted(unknown)}')
    # Longest folder first, so that a nested layer wins over its parent.
    return sorted(layers, key=lambda layer: -len(layer[1]))


def layer_of(path, layers):
    for name, folder, uses in layers:
        if path == folder or path.startswith(folder + '/'):
            return name, uses
    return None, None


def breaches(root):
    layers = read_layers(root)
    found = []
    for folder, _, files in os.walk(os.path.join(root, 'src')):
        for file in sorted(files):
            if not file.endswith(SOURCE_ENDINGS):
                continue
            full = os.path.join(folder, file)
            relative = os.path.relpath(full, root).replace(os.sep, '/')
            own, uses = layer_of(relative, layers)
            if own is None:
                found.append(f'{relative}: in no layer of src/layers.txt')
                continue
            with open(full, encoding='utf-8', errors='replace') as f:
                text = f.read()
            for match in INCLUDE.finditer(text):
                header = match.group(1)
                if '/' not in header:
                    continue  # a header beside the source: same layer
                target, _ = layer_of('src/' + header, layers)
                if target is None or target == own or target in uses:
                    continue
                line = text.count('\n', 0, match.start()) + 1
                found.append(f'{relative}:{line}: layer {own} includes "{header}" of layer {target}')
            if own != QT_LAYER:
                for match in QT_INCLUDE.finditer(text):
                    line = text.count('\n', 0, match.start()) + 1
                    found.append(f'{relative}:{line}: layer {own} includes Qt\'s <{match.group(1)}>')
    return found


def self_test(root):
    """A copy of the layer list, one shell source that includes the
    conversion engine and a launch source that includes Qt must be refused;
    the window layer may include both."""
    with tempfile.TemporaryDirectory() as scratch:
        os.makedirs(os.path.join(scratch, 'src', 'shell'))
        shutil.copy(os.path.join(root, 'src', 'layers.txt'), os.path.join(scratch, 'src'))
        os.makedirs(os.path.join(scratch, 'src', 'launch'))
        os.makedirs(os.path.join(scratch, 'src', 'ui'))
        with open(os.path.join(scratch, 'src', 'shell', 'Wrong.cpp'), 'w') as f:
            f.write('#include "text/Utf8.h"\n#include "convert/ExportRun.h"\n')
        with open(os.path.join(scratch, 'src', 'launch', 'Window.cpp'), 'w') as f:
            f.write('#include <string>\n#include <QDialog>\n')
        with open(os.path.join(scratch, 'src', 'ui', 'Right.cpp'), 'w') as f:
            f.write('#include <QDialog>\n#include "batch/RecoveryJournal.h"\n#include "launch/StartUp.h"\n')
        found = sorted(breaches(scratch))
        expected = ['src/launch/Window.cpp:2: layer launch includes Qt\'s <QDialog>',
                    'src/shell/Wrong.cpp:2: layer shell includes "convert/ExportRun.h" of layer convert']
        if found != expected:
            print('self-test: a wrong include was not caught as expected:', found)
            return False
    return True


def main(argv):
    args = [a for a in argv[1:] if a != '--self-test']
    root = args[0] if args else os.path.join(os.path.dirname(__file__), '..', '..')
    if '--self-test' in argv and not self_test(root):
        return 1
    found = breaches(root)
    for line in found:
        print(line)
    if found:
        print(f'{len(found)} includes break the layers')
        return 1
    print('layers: every include points down')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
