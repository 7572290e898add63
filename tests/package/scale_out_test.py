#!/usr/bin/env python3
"""Runs every recipe of docs/scale-out.md as written, taken out of the page itself: each `sh`
block with a folder of test photographs for /photos, and the Kubernetes Job's shard script on
both of two shards, one holding a photograph that cannot be read. `karvona` on the PATH is the
built program with the reference data found as the package finds its own.

    scale_out_test.py KARVONA DATA_FOLDER PHOTO_FOLDER SCALE_OUT_MD
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import yaml
except ImportError:
    print("python3-yaml is not installed: skipped")
    sys.exit(77)
if shutil.which("parallel") is None:
    print("GNU parallel is not installed: skipped")
    sys.exit(77)

karvona, data, samples, page = (os.path.abspath(a) for a in sys.argv[1:5])
text = open(page, encoding="utf-8").read()
blocks = re.findall(r"^```(\w+)\n(.*?)^```", text, re.S | re.M)
shell_blocks = [body for kind, body in blocks if kind == "sh"]
jobs = [yaml.safe_load(body) for kind, body in blocks if kind == "yaml"]
failures = []

work = tempfile.mkdtemp()
try:
    bin_folder = os.path.join(work, "bin")
    os.makedirs(bin_folder)
    with open(os.path.join(bin_folder, "karvona"), "w") as wrapper:
        wrapper.write(f'#!/bin/sh\nexec "{karvona}" "$@"\n')
    os.chmod(os.path.join(bin_folder, "karvona"), 0o755)
    env = dict(os.environ, PATH=bin_folder + os.pathsep + os.environ["PATH"],
               KARVONA_DATA=data, KARVONA_ROOT=os.path.join(work, "root"), LC_ALL="C.UTF-8")

    # Three truck passes of gate photographs (of the bundled ones, those read at once).
    photos = os.path.join(work, "photos")
    os.makedirs(photos)
    for source, name in [("04", "1-100-OCR-AH"), ("06", "1-100-OCR-LF"), ("10", "1-200-OCR-AH"),
                         ("03", "1-200-OCR-RF"), ("00", "1-300-OCR-AH")]:
        shutil.copy(os.path.join(samples, f"synth_0000{source}.jpg"),
                    os.path.join(photos, name + ".jpg"))

    def run(script, folder, extra_env=None):
        script = script.replace("/photos", photos).replace("/results", os.path.join(work, "results"))
        script = re.sub(r"--sshlogin \S+", "--sshlogin :", script)  # this machine only
        os.makedirs(folder, exist_ok=True)
        return subprocess.run(["/bin/sh", "-c", script], cwd=folder, env=dict(env, **(extra_env or {})),
                              capture_output=True, text=True, timeout=240)

    def lines(path):
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    one = subprocess.run([karvona, "read", "--json", photos], env=env, capture_output=True,
                         text=True, timeout=240)
    expected = sorted((r["file"], r["code"]) for r in map(json.loads, one.stdout.splitlines()))
    all_photos = {os.path.join(photos, n) for n in os.listdir(photos)}

    for number, script in enumerate(shell_blocks):
        folder = os.path.join(work, f"recipe-{number}")
        done = run(script, folder)
        what = f"recipe {number + 1} ({script.splitlines()[0][:60]}...)"
        if done.returncode != 0:
            failures.append(f"{what} ended with {done.returncode}: {done.stderr[-500:]}")
            continue
        outputs = [os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".jsonl")]
        if len(outputs) != 1:
            failures.append(f"{what} wrote {len(outputs)} .jsonl files")
            continue
        got = lines(outputs[0])
        if "--passes" in script:
            passes = [r["pass"] for r in got]
            photos_named = {p for r in got for c in r["codes"] for p in c["photos"]} | \
                           {p for r in got for p in r["unused"]}
            if passes != ["100", "200", "300"] or photos_named != {p for p in all_photos if p.endswith(".jpg")}:
                failures.append(f"{what}: passes {passes}, photographs {sorted(photos_named)}")
        else:
            readings = sorted((r["file"], r["code"]) for r in got)
            wanted = [r for r in expected if "iname '*.bmp'" in script or r[0].endswith(".jpg")]
            if readings != wanted:
                failures.append(f"{what}: {readings} is not one run's {wanted}")

    # The Kubernetes Job's shard script, on two shards; a photograph that cannot be read is
    # the first of the sorted list, so it falls in shard 0.
    open(os.path.join(photos, "1-000-OCR-AH.jpg"), "wb").write(b"not a photograph")
    job = [j for j in jobs if j and j.get("kind") == "Job"]
    if len(job) != 1:
        failures.append(f"{len(job)} Kubernetes Jobs in the page")
    else:
        spec = job[0]["spec"]
        container = spec["template"]["spec"]["containers"][0]
        shards = int(next(e["value"] for e in container["env"] if e["name"] == "SHARDS"))
        if shards != spec["completions"]:
            failures.append(f"SHARDS {shards} and completions {spec['completions']} differ")
        image = container["image"]
        if f"-t {image} " not in text:
            failures.append(f"the Job's image {image} is not the one the page builds")
        script = container["args"][0]
        os.makedirs(os.path.join(work, "results"))
        shard_lines = []
        for index in range(2):
            done = subprocess.run(container["command"] + [script.replace("/photos", photos).replace(
                "/results", os.path.join(work, "results"))], env=dict(env, SHARDS="2",
                JOB_COMPLETION_INDEX=str(index)), capture_output=True, text=True, timeout=240)
            if done.returncode != 0:
                failures.append(f"shard {index} ended with {done.returncode}: {done.stderr[-500:]}")
            shard_lines += lines(os.path.join(work, "results", f"shard-{index}.jsonl"))
        files = sorted(r["file"] for r in shard_lines)
        if files != sorted(all_photos | {os.path.join(photos, "1-000-OCR-AH.jpg")}):
            failures.append(f"the shards hold {files}")
        bad = [r for r in shard_lines if r["file"].endswith("1-000-OCR-AH.jpg")]
        if not bad or bad[0]["status"] != "unreadable":
            failures.append(f"the bad photograph is reported as {bad}")
        # A shard without reference data still fails, so that the pod is retried.
        done = subprocess.run(container["command"] + [script.replace("/photos", photos).replace(
            "/results", os.path.join(work, "results"))], env=dict(env, SHARDS="2",
            JOB_COMPLETION_INDEX="1", KARVONA_DATA=os.path.join(work, "nowhere")),
            capture_output=True, text=True, timeout=240)
        if done.returncode == 0:
            failures.append("a shard without reference data ended with 0")
finally:
    shutil.rmtree(work, ignore_errors=True)

for failure in failures:
    print(failure)
print(f"{len(shell_blocks)} sh recipes and the Job's shard script run, {len(failures)} problem(s)")
sys.exit(1 if failures else 0)
