#!/usr/bin/env python3
"""Cuts the complete examples out of docs/guide.md, builds the C and C++ ones
against the library, and runs all of them in the guide's order in a scratch
folder, so that the guide stays true. An example is a fenced block whose
first line names it: "/* example: NAME */", "// example: NAME" or
"# example: NAME"."""
import argparse
import os
import re
import shutil
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--guide", required=True)
parser.add_argument("--include", required=True)
parser.add_argument("--library", required=True, help="the shared library file")
parser.add_argument("--cc", required=True)
parser.add_argument("--cxx", required=True)
parser.add_argument("--flags", default="", help="extra compile and link flags (the sanitizers)")
parser.add_argument("--scratch", required=True)
args = parser.parse_args()

text = open(args.guide, encoding="utf-8").read()
blocks = re.findall(r"^```(\w+)\n(.*?)^```$", text, re.S | re.M)
examples = []
for language, body in blocks:
    first = body.split("\n", 1)[0]
    named = re.match(r"^(?:/\*|//|#) example: (\S+)", first)
    if named:
        examples.append((named.group(1), language, body))
names = [name for name, _, _ in examples]
expected = ["create.c", "list.c", "extract_hook.c", "memory.c", "guide.cpp", "guide.py"]
if names != expected:
    sys.exit(f"the guide's examples are {names}, expected {expected}")

shutil.rmtree(args.scratch, ignore_errors=True)
os.makedirs(args.scratch)
libdir = os.path.dirname(os.path.abspath(args.library))
flags = args.flags.split()


def run(command, **kwargs):
    print("$", " ".join(command), flush=True)
    result = subprocess.run(command, cwd=args.scratch, capture_output=True, text=True, **kwargs)
    sys.stdout.write(result.stdout)
    sys.stderr.write(result.stderr)
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed with status {result.returncode}")
    return result.stdout


outputs = {}
for name, language, body in examples:
    source = os.path.join(args.scratch, name)
    with open(source, "w", encoding="utf-8") as f:
        f.write(body)
    program = os.path.join(args.scratch, os.path.splitext(name)[0] + ("-cpp" if language == "cpp" else ""))
    if language in ("c", "cpp"):
        compiler = args.cc if language == "c" else args.cxx
        standard = "-std=c11" if language == "c" else "-std=c++20"
        # Warnings are errors: an example is code to copy.
        run([compiler, standard, "-Wall", "-Wextra", "-Werror", *flags, "-I", args.include, "-c", source, "-o",
             program + ".o"])
        # Linked by the C++ driver, which brings the C++ parts of sanitizer runtimes.
        run([args.cxx, *flags, program + ".o", "-L", libdir, "-lzarlib32", "-Wl,-rpath," + libdir, "-o", program])
        outputs[name] = run([program])
    else:
        environment = dict(os.environ, ZARLIB32=os.path.abspath(args.library))
        if flags:
            # A Python interpreter loads the sanitized library: its runtime first.
            runtime = subprocess.run([args.cc, "-print-file-name=libclang_rt.asan-x86_64.so"], capture_output=True,
                                     text=True).stdout.strip()
            environment["LD_PRELOAD"] = runtime
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        outputs[name] = run([sys.executable, source], env=environment)

# What each step must have shown.
checks = {
    "create.c": ["example.zip written"],
    "list.c": ["example.zip: 2 entries", "docs/hello.txt (encrypted)", "docs/notes.txt (encrypted)"],
    "extract_hook.c": ["done: out\\docs\\hello.txt (21 bytes)", "extracted into out/"],
    "memory.c": ["docs/hello.txt (CRC good): Hello from zarlib32."],
    "guide.cpp": ["docs/hello.txt: Hello from C++."],
    "guide.py": ["docs/hello.txt: 19 bytes, CRC good: Hello from Python."],
}
for name, wanted in checks.items():
    for part in wanted:
        if part not in outputs[name]:
            sys.exit(f"{name} did not show {part!r}:\n{outputs[name]}")
with open(os.path.join(args.scratch, "out/docs/notes.txt"), encoding="utf-8") as f:
    if f.read() != "A second file, to have more than one.\n":
        sys.exit("extract_hook.c did not extract docs/notes.txt whole")
print("every example of the guide built and ran")
