#!/usr/bin/env python3
"""Tests of check-layers.py: small source trees with the includes that matter, each run
through the script as the build runs it."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-layers.py")

# A tree that follows the table: each folder includes from below, tests from anywhere.
CLEAN = {
    "src/link/frame.h": "#pragma once\n#include <cstdint>\n",
    "src/link/version.h.in": "",  # link/version.h is generated into the build
    "src/device/ping.h": '#include "link/frame.h"\n#include "link/version.h"\n',
    "src/device/ping.cc": '#include "device/ping.h"\n#include "../link/frame.h"\n',
    "src/local/target.h": '#include "device/ping.h"\n#include <sys/stat.h>\n',
    "src/shell/shell.h": '#include "local/target.h"\n#include "shell/ls.h"\n',
    "src/shell/ls.h": '#include "device/ping.h"\n',
    "src/shell/shell_test.cc": '#include "fake_proxy.h"\n#include "support/wire.h"\n'
                               '#include "tests/fake_proxy.h"\n#include <gtest/gtest.h>\n',
    "src/tool/tool.cc": '#include "shell/shell.h"\n#include "CLI/CLI.hpp"\n'
                        '#include "nlohmann/json.hpp"\n',
    "src/mount/mount.cc": '#include "local/target.h"\n#include <fuse3/fuse.h>\n',
    "sim/session.h": '#include "link/frame.h"\n#include "faults.h"\n',
    "sim/faults.h": "#pragma once\n",
    "sim/test_shell.h": '#include "session.h"\n#include "support/wire.h"\n',
    "sim/session_test.cc": '#include "test_shell.h"\n',
    "tests/fake_proxy.h": '#include "shell/shell.h"\n',
    "tests/support/wire.h": '#include "link/frame.h"\n',
    "tests/e2e/run_test.cc": '#include "e2e/harness.h"\n#include "support/wire.h"\n',
    "tests/e2e/harness.h": "#pragma once\n",
    "bench/pingpong.cc": '#include "shell/shell.h"\n',
    "fuzz/ls_fuzz.cc": '#include "shell/ls.h"\n',
}


def tree(changes):
    files = dict(CLEAN)
    files.update(changes)
    return {path: text for path, text in files.items() if text is not None}


class CheckLayers(unittest.TestCase):
    def run_checker(self, files, *options):
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w") as f:
                    f.write(text)
            run = subprocess.run([sys.executable, CHECKER, "--root", root, *options],
                                 capture_output=True, text=True, timeout=60)
        return run.returncode, run.stdout + run.stderr

    def test_trees(self):
        cases = [
            {"name": "a tree that follows the table", "changes": {}, "exit": 0,
             "says": ["layering: every include follows the table"]},
            {"name": "the link includes the device above it",
             "changes": {"src/link/frame.cc": '#include <cstring>\n\n#include "device/ping.h"\n'},
             "exit": 1, "says": ['src/link/frame.cc:3: includes "device/ping.h" from src/device']},
            {"name": "a relative path up and into the shell",
             "changes": {"src/local/target.cc": '#include "../shell/shell.h"\n'},
             "exit": 1, "says": ["src/local/target.cc:1: ", "from src/shell"]},
            {"name": "rqsim reaches into the device layer",
             "changes": {"sim/listing.cc": '#include "device/ping.h"\n'},
             "exit": 1, "says": ["sim/listing.cc:1: ", "sim may include src/link"]},
            {"name": "the mount includes the shell",
             "changes": {"src/mount/fs.cc": '#include "shell/ls.h"\n'},
             "exit": 1, "says": ["src/mount/fs.cc:1: ",
                                 "src/mount may include src/link, src/device, src/local"]},
            {"name": "a product file includes a test helper",
             "changes": {"src/shell/console.cc": '#include "support/wire.h"\n'},
             "exit": 1, "says": ["src/shell/console.cc:1: ", "from tests"]},
            {"name": "a quoted include that names nothing in the tree",
             "changes": {"src/device/info.cc": '#include "nowhere/info.h"\n'},
             "exit": 1, "says": ['src/device/info.cc:1: includes "nowhere/info.h"']},
            {"name": "a folder the table has no row for",
             "changes": {"src/gui/window.cc": '#include "link/frame.h"\n'},
             "exit": 1, "says": ["src/gui/window.cc:1: the folder src/gui has no row"]},
            {"name": "the link and the device include each other",
             "changes": {"src/link/frame.cc": '#include "link/frame.h"\n#include "device/ping.h"\n'},
             "exit": 1,
             "says": ["src/link/frame.cc:2: ", "cycle: src/device -> src/link -> src/device",
                      "src/device -> src/link: src/device/ping.cc:2",
                      "src/link -> src/device: src/link/frame.cc:2"]},
        ]
        for case in cases:
            with self.subTest(case["name"]):
                status, out = self.run_checker(tree(case["changes"]))
                self.assertEqual(status, case["exit"], out)
                for text in case["says"]:
                    self.assertIn(text, out)
                if case["exit"] == 0:
                    self.assertNotIn(": includes", out)

    def test_a_cycle_through_three_folders_is_found(self):
        # tests may include the shell, and the shell the local layer; the local layer
        # including a test helper closes the circle.
        status, out = self.run_checker(tree({
            "src/local/target.h": '#include "device/ping.h"\n#include "support/wire.h"\n',
        }))
        self.assertEqual(status, 1, out)
        self.assertIn("cycle: src/local -> tests -> src/shell -> src/local", out)
        for edge in ["src/local -> tests: src/local/target.h:2",
                     "tests -> src/shell: tests/fake_proxy.h:1",
                     "src/shell -> src/local: src/shell/shell.h:1"]:
            self.assertIn(edge, out)

    def test_report_only_prints_everything_and_passes(self):
        files = tree({"src/link/frame.cc": '#include "device/ping.h"\n',
                      "src/device/ping.cc": '#include "shell/shell.h"\n'})
        status, out = self.run_checker(files, "--report-only")
        self.assertEqual(status, 0, out)
        self.assertIn("src/link/frame.cc:1: ", out)
        self.assertIn("src/device/ping.cc:1: ", out)
        self.assertIn("(reported only)", out)
        self.assertEqual(self.run_checker(files)[0], 1)


if __name__ == "__main__":
    unittest.main()
