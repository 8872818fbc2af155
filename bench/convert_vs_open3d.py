# SPDX-License-Identifier: MIT
"""quaxscan convert against Open3D's read and write of the same file.

    python3 bench/convert_vs_open3d.py --quaxscan build/release/bin/quaxscan \
        [--rounds 3] [--frames 300] [--points 1000] [--python /usr/bin/python3]

Simulates a scan with gray sums (quaxscan simulate --surfaces 2 --frames 300
--points 1000 --graysum, about 600 k points, and times that too), then runs
`quaxscan convert in.ply -o out.ply` and Open3D's tensor PLY reader and
writer on the same file (which keep x, y, z and every other vertex property)
one after the other, round after round, so that both meet the same load on
a shared machine. Each run is a process of its own under /usr/bin/time -v:
its peak resident memory, its CPU time (user + system) and its wall time.
For Open3D the work alone (read + write, without starting Python and
importing Open3D) is timed inside the process too. Prints the best of the
rounds. Open3D comes from Debian (scripts/install-deps open3d, run here when
the module is missing) and runs in Debian's Python (--python).
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

OPEN3D_RUN = r"""
import sys, time
import open3d as o3d
o3d.utility.set_verbosity_level(o3d.utility.VerbosityLevel.Error)
wall, cpu = time.perf_counter(), time.process_time()
cloud = o3d.t.io.read_point_cloud(sys.argv[1])
o3d.t.io.write_point_cloud(sys.argv[2], cloud)
print("work", time.perf_counter() - wall, time.process_time() - cpu,
      len(cloud.point["positions"]), sorted(cloud.point))
"""


def timed(command):
    """Runs `command` under /usr/bin/time -v: (wall s, cpu s, peak MB, stdout)."""
    result = subprocess.run(["/usr/bin/time", "-v"] + command, check=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    report = result.stderr

    def field(name):
        return re.search(re.escape(name) + r":\s*(\S+)", report).group(1)

    clock = [float(x) for x in field(
        "Elapsed (wall clock) time (h:mm:ss or m:ss)").split(":")]
    wall = sum(x * 60 ** i for i, x in enumerate(reversed(clock)))
    cpu = float(field("User time (seconds)")) + float(
        field("System time (seconds)"))
    peak = int(field("Maximum resident set size (kbytes)")) / 1024.0
    return wall, cpu, peak, result.stdout


def ensure_open3d(python):
    probe = [python, "-c", "import open3d"]
    if subprocess.run(probe, capture_output=True).returncode == 0:
        return
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    subprocess.run([os.path.join(root, "scripts", "install-deps"), "open3d"],
                   check=True)


def vertices(path):
    with open(path, "rb") as f:
        head = f.read(1 << 14).decode("latin-1")
    return int(re.search(r"element vertex (\d+)", head).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quaxscan", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--points", type=int, default=1000)
    parser.add_argument("--python", default="/usr/bin/python3")
    args = parser.parse_args()
    ensure_open3d(args.python)

    with tempfile.TemporaryDirectory(prefix="quax-o3d-") as folder:
        source = os.path.join(folder, "in.ply")
        simulate = [args.quaxscan, "simulate", "--surfaces", "2", "--frames",
                    str(args.frames), "--points", str(args.points),
                    "--graysum", "-o", source]
        runs = {"simulate": [], "quaxscan": [], "open3d": [], "open3d work": []}
        for _ in range(args.rounds):
            runs["simulate"].append(timed(simulate)[:3])
        count, size = vertices(source), os.path.getsize(source)
        for _ in range(args.rounds):
            runs["quaxscan"].append(timed(
                [args.quaxscan, "convert", source, "-o",
                 os.path.join(folder, "quax.ply")])[:3])
            wall, cpu, peak, out = timed(
                [args.python, "-c", OPEN3D_RUN, source,
                 os.path.join(folder, "o3d.ply")])
            runs["open3d"].append((wall, cpu, peak))
            words = out.split(maxsplit=4)
            attributes = words[4].strip()
            runs["open3d work"].append((float(words[1]), float(words[2]), peak))
            if int(words[3]) != count:
                sys.exit("Open3D read {} points of {}".format(words[3], count))

    print("file: {:,} points, {:.1f} MB; best of {} rounds, interleaved".format(
        count, size / 1e6, args.rounds))
    print("Open3D kept the vertex properties", attributes)
    print("{:<28}{:>9}{:>9}{:>10}{:>17}".format(
        "", "wall s", "CPU s", "peak MB", "M points/s (CPU)"))
    for name, label in [("simulate", "quaxscan simulate"),
                        ("quaxscan", "quaxscan convert"),
                        ("open3d", "Open3D read+write (process)"),
                        ("open3d work", "Open3D read+write (work)")]:
        wall = min(r[0] for r in runs[name])
        cpu = min(r[1] for r in runs[name])
        peak = min(r[2] for r in runs[name])
        print("{:<28}{:>9.3f}{:>9.3f}{:>10.1f}{:>17.2f}".format(
            label, wall, cpu, peak, count / cpu / 1e6 if cpu > 0 else 0))


if __name__ == "__main__":
    main()
