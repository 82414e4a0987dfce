#!/usr/bin/env python3
"""The campaign scripts without a cluster: slurm-convert.sh submitting to a
stand-in sbatch, its job script run by hand task by task with a stand-in
converter, and gather-results.py on made-up result folders.

usage: campaign_scripts_test.py SOURCE_DIR
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
SUBMIT = os.path.join(SOURCE, "scripts", "slurm-convert.sh")
GATHER = os.path.join(SOURCE, "scripts", "gather-results.py")

# Prints one result per archive operand, as the converter's --json does,
# and its own arguments to a file beside it.
FAKE_CONVERT = """#!/usr/bin/env python3
import json, os, sys
with open(os.path.join(os.path.dirname(sys.argv[0]), "args.jsonl"), "a") as f:
    f.write(json.dumps(sys.argv[1:]) + "\\n")
for a in sys.argv[sys.argv.index("--") + 1:]:
    print(json.dumps({"archive": a, "outcome": "converted", "exit_status": 0}))
"""
FAKE_SBATCH = """#!/usr/bin/env bash
printf '%s\\n' "$@" > "$(dirname "$0")/sbatch.args"
echo "42;cluster"
"""


def line(archive, outcome, status):
    return json.dumps({"archive": archive, "outcome": outcome, "exit_status": status}) + "\n"


class SubmitTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.path.join(self.tmp.name, "it's a $HOME %x")  # every awkward character
        self.bin = os.path.join(self.dir, "bin")
        os.makedirs(self.bin)
        for name, text in (("orlovarnel-convert", FAKE_CONVERT), ("sbatch", FAKE_SBATCH)):
            with open(os.path.join(self.bin, name), "w") as f:
                f.write(text)
            os.chmod(os.path.join(self.bin, name), 0o755)
        self.archives = [os.path.join(self.dir, f"flight {k}.Ark") for k in range(7)]
        for a in self.archives:
            open(a, "w").close()
        self.list = os.path.join(self.dir, "list.txt")
        with open(self.list, "w") as f:
            f.write("# campaign\n\n" + "\n".join(self.archives) + "\n")
        self.env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"])

    def tearDown(self):
        self.tmp.cleanup()

    def submit(self, *args):
        return subprocess.run(["bash", SUBMIT, *args], capture_output=True, text=True, env=self.env)

    def test_refusals(self):
        other = os.path.join(self.dir, "bin", "flight 0.Ark")
        open(other, "w").close()
        lists = {"bad": [self.archives[0], os.path.join(self.dir, "gone.Ark")],
                 "twice": [self.archives[0], self.archives[1], self.archives[0]],
                 "same name": [self.archives[0], other]}
        for name, lines in lists.items():
            with open(os.path.join(self.dir, name), "w") as f:
                f.write("\n".join(lines) + "\n")
        bad_list, twice, same_name = (os.path.join(self.dir, n) for n in lists)
        cases = [
            ((), "no archive list given"),
            (("--chunk", "0", self.list), "--chunk must be a whole number"),
            (("--chunk",), "--chunk needs a value"),
            (("--bogus", self.list), "unknown option '--bogus'"),
            ((self.list, self.list), "one archive list only"),
            ((os.path.join(self.dir, "none.txt"),), "cannot read the archive list"),
            ((bad_list,), "gone.Ark' is not a file"),
            ((twice,), "would write the same outputs"),
            (("-o", "out", same_name), "would write the same outputs"),
            (("--convert", os.path.join(self.dir, "list.txt"), self.list), "is not an executable program"),
            (("--convert-arg", "--json", self.list), "sets that option itself"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = self.submit(*args)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn(message, r.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.bin, "sbatch.args")))

    def test_tasks_convert_their_chunks_and_gather_counts_them(self):
        results = os.path.join(self.dir, "results")
        out = os.path.join(self.dir, "out folder")
        r = self.submit("-n", "3", "-m", "2", "-o", out, "-r", results, "-a", "--verify",
                        "-s", "--partition=long night", self.list)
        self.assertEqual((r.returncode, r.stdout), (0, "42\n"), r.stderr)
        with open(os.path.join(self.bin, "sbatch.args")) as f:
            sbatch = f.read().splitlines()
        self.assertIn("--array=0-2%2", sbatch)
        self.assertIn("--partition=long night", sbatch)
        self.assertIn("--output=" + results.replace("%", "%%") + "/slurm-%A_%a.out", sbatch)
        self.assertEqual(sbatch[-1], os.path.join(results, "job.sh"))
        for task in range(3):
            job = subprocess.run(["bash", sbatch[-1]], env=dict(self.env, SLURM_ARRAY_TASK_ID=str(task)))
            self.assertEqual(job.returncode, 0)
        with open(os.path.join(self.bin, "args.jsonl")) as f:
            calls = [json.loads(x) for x in f]
        self.assertEqual(calls[0][:6], ["--quiet", "--skip-complete", "--json", "--output-dir", out, "--verify"])
        self.assertEqual([c[c.index("--") + 1:] for c in calls],
                         [self.archives[0:3], self.archives[3:6], self.archives[6:7]])
        # A task past the end of the list fails rather than converting nothing.
        past = subprocess.run(["bash", sbatch[-1]], env=dict(self.env, SLURM_ARRAY_TASK_ID="3"),
                              capture_output=True, text=True)
        self.assertEqual(past.returncode, 1)
        g = subprocess.run([sys.executable, GATHER, "--json", results], capture_output=True, text=True)
        summary = json.loads(g.stdout)
        self.assertEqual((g.returncode, summary["outcomes"], summary["missing"]), (0, {"converted": 7}, []))


class GatherTest(unittest.TestCase):
    # (files {name: lines}, list or None, exit status, outcomes, missing, unreadable, unfinished)
    CASES = [
        ("clean", {"t0.jsonl": [line("/a", "converted", 0), line("/b", "skipped", 0)]}, ["/a", "/b"],
         0, {"converted": 1, "skipped": 1}, [], 0, []),
        ("warnings", {"t0.jsonl": [line("/a", "converted", 0)],
                      "t1.jsonl": [line("/b", "converted-with-warnings", 3)]}, None,
         3, {"converted": 1, "converted-with-warnings": 1}, [], 0, []),
        ("failure before warnings", {"t0.jsonl": [line("/a", "refused", 1), line("/b", "converted-with-warnings", 3)]},
         None, 1, {"refused": 1, "converted-with-warnings": 1}, [], 0, []),
        ("missing", {"t0.jsonl": [line("/a", "converted", 0)]}, ["/a", "/b", "/c"],
         1, {"converted": 1}, ["/b", "/c"], 0, []),
        ("unreadable", {"t0.jsonl": [line("/a", "converted", 0), '{"archive": "/b", "outc\n',
                                     '{"archive": "/c", "outcome": "converted", "exit_status": "0"}\n']},
         ["/a"], 1, {"converted": 1}, [], 2, []),
        ("unfinished task", {"t0.jsonl": [line("/a", "converted", 0)], "t1.jsonl.partial": [line("/b", "converted", 0)]},
         ["/a"], 1, {"converted": 1}, [], 0, ["t1.jsonl.partial"]),
        ("newest file wins", {"old.jsonl": [line("/a", "aborted", 1)], "new.jsonl": [line("/a", "skipped", 0)]},
         ["/a"], 0, {"skipped": 1}, [], 0, []),
        ("unlisted left out", {"t0.jsonl": [line("/a", "converted", 0), line("/z", "refused", 1)]}, ["/a"],
         0, {"converted": 1}, [], 0, []),
        ("nothing", {}, ["/a"], 1, {}, ["/a"], 0, []),
    ]

    def test_summaries(self):
        for name, files, listed, status, outcomes, missing, unreadable, unfinished in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as d:
                for k, (file, lines) in enumerate(files.items()):
                    path = os.path.join(d, file)
                    with open(path, "w") as f:
                        f.writelines(lines)
                    os.utime(path, ns=(k * 10**9, k * 10**9))  # files in the table's order
                if listed is not None:
                    with open(os.path.join(d, "archives.list"), "w") as f:
                        f.write("\n".join(listed) + "\n")
                r = subprocess.run([sys.executable, GATHER, "--json", d], capture_output=True, text=True)
                s = json.loads(r.stdout)
                self.assertEqual((r.returncode, s["exit_status"]), (status, status), r.stderr)
                self.assertEqual(s["outcomes"], outcomes)
                self.assertEqual(s["missing"], missing)
                self.assertEqual(len(s["unreadable"]), unreadable)
                self.assertEqual(s["unfinished"], unfinished)
                text = subprocess.run([sys.executable, GATHER, d], capture_output=True, text=True)
                self.assertEqual(text.returncode, status)
                self.assertIn(f"exit status {status}", text.stdout)

    def test_usage(self):
        for args in ([], ["--bogus", "."], [".", "."], ["/no/such/folder"], ["--list"]):
            with self.subTest(args=args):
                r = subprocess.run([sys.executable, GATHER, *args], capture_output=True, text=True)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertTrue(r.stderr.startswith("gather-results.py: "))


if __name__ == "__main__":
    unittest.main(verbosity=1)
