"""The layering check on small made-up trees: each case one kind of fault."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
import check_layers  # noqa: E402

LAYERS = '''\
platform
mid other
high
unlayered tests
'''

CMAKE = 'add_subdirectory(platform)\nadd_subdirectory(mid)\nadd_subdirectory(other)\nadd_subdirectory(high)\n'

# A tree that keeps to its layering; each case adds or replaces files.
GOOD = {
    'platform/Port.h': '#include <vector>\n#include <xcb/xcb.h>\n',
    'mid/Mid.cpp': '#include "Mid.h"\n#include "platform/Port.h"\n#include <QWidget>\n',
    'mid/Mid.h': '',
    'other/Other.h': '#include "platform/Port.h"\n',
    'high/High.cpp': '#include "mid/Mid.h"\n#include "other/Other.h"\n#include "platform/Port.h"\n',
    'tests/HighTest.cpp': '#include "high/High.h"\n#include <X11/Xlib.h>\n',
}


def tree(root, files, layers=LAYERS, cmake=CMAKE):
    os.makedirs(os.path.join(root, 'scripts'))
    with open(os.path.join(root, 'scripts', 'layers.txt'), 'w') as f:
        f.write(layers)
    with open(os.path.join(root, 'CMakeLists.txt'), 'w') as f:
        f.write(cmake)
    for name, text in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w') as f:
            f.write(text)


def findings(files, **kw):
    with tempfile.TemporaryDirectory() as root:
        tree(root, files, **kw)
        return check_layers.check(root)


class CheckLayers(unittest.TestCase):
    def test_a_tree_that_keeps_its_layering_is_clean(self):
        self.assertEqual(findings(GOOD), [])

    def test_each_fault_is_found_and_named(self):
        cases = [
            ('upward', {'platform/Port.h': '#include "mid/Mid.h"\n'},
             'platform/Port.h: includes "mid/Mid.h", but mid/ is above platform/'),
            ('two levels up, indented', {'platform/Port.cpp': '  #  include "high/High.h"\n'},
             'platform/Port.cpp: includes "high/High.h", but high/ is above platform/'),
            ('peer', {'other/Other.h': '#include "mid/Mid.h"\n'},
             'other/Other.h: includes "mid/Mid.h", but mid/ is a peer of other/'),
            ('window system outside platform', {'high/High.cpp': '#include <wayland-client.h>\n'},
             "high/High.cpp: includes wayland-client.h, a window system's header, outside platform/"),
            ('generated protocol header', {'mid/Mid.cpp': '#include "xdg-shell-client-protocol.h"\n'},
             "mid/Mid.cpp: includes xdg-shell-client-protocol.h, a window system's header, outside platform/"),
            ('folder without a line', {'stray/Stray.cpp': '\n'},
             'stray/: C++ sources in a folder that scripts/layers.txt does not place'),
        ]
        for what, change, expected in cases:
            with self.subTest(what):
                self.assertEqual(findings({**GOOD, **change}), [expected])

    def test_an_exception_allows_its_include_and_must_still_occur(self):
        upward = {**GOOD, 'platform/Port.h': '#include "mid/Mid.h"\n'}
        allowing = LAYERS + 'allow platform/Port.h mid/Mid.h\n'
        self.assertEqual(findings(upward, layers=allowing), [])
        self.assertEqual(findings(GOOD, layers=allowing),
                         ['scripts/layers.txt: the exception "platform/Port.h mid/Mid.h" no longer occurs; take it out'])

    def test_cmake_must_add_a_folder_after_those_it_uses(self):
        swapped = 'add_subdirectory(mid)\nadd_subdirectory(platform)\nadd_subdirectory(other)\nadd_subdirectory(high)\n'
        self.assertEqual(findings(GOOD, cmake=swapped), ['CMakeLists.txt: adds mid/ before platform/, which it uses'])

    def test_a_build_tree_is_not_taken_for_a_source_folder(self):
        self.assertEqual(findings({**GOOD, 'build-x/CMakeCache.txt': '', 'build-x/moc.cpp': ''}), [])

    def test_the_whole_checkout_keeps_its_layering(self):
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
        self.assertEqual(check_layers.check(root), [])


if __name__ == '__main__':
    unittest.main()
