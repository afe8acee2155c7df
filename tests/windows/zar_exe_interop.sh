#!/usr/bin/env bash
# zar.exe of the Windows build, run under Wine, against the independent tools
# on the Linux side: what it writes passes `unzip -t`, Python's zipfile and
# `7z t`, and Python and unzip restore the tree byte for byte, a name in the
# ANSI code page included (Python restores that one, this unzip keeps the
# stored bytes); what zip, Python and 7z write, zar.exe extracts byte for byte.
#
#   zar_exe_interop.sh EMULATOR ZAR_EXE
set -euo pipefail
emulator=$(realpath "$1")
zar=$(realpath "$2")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zar-exe-interop.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
wzar() { "$emulator" "$zar" "$@"; }

# A tree of text, binary, empty and nested files. Wine hands Windows programs
# the Linux names in the ANSI code page, which holds é.
mkdir -p tree/docs/deeper tree/empty-dir
printf 'line one\nline two\n' > tree/readme.txt
head -c 300000 /dev/urandom > tree/random.bin
python3 -c "import sys; sys.stdout.write('compressible ' * 20000)" > tree/docs/long.txt
: > tree/docs/empty.txt
printf 'deep\n' > tree/docs/deeper/file.txt
printf 'accent\n' > "tree/caf$(printf '\xc3\xa9').txt"

# --- what zar.exe writes -----------------------------------------------------
wzar add written.zip tree > zar-add.log 2>&1 || fail "zar.exe add: $(cat zar-add.log)"
unzip -t written.zip > unzip-t.log 2>&1 || fail "unzip -t: $(cat unzip-t.log)"
python3 - written.zip <<'PY' || fail "python zipfile"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit(f"bad entry {bad}")
    names = set(z.namelist())
    if "tree/café.txt" not in names:
        sys.exit(f"no tree/café.txt among {sorted(names)}")
PY
7z t written.zip > 7z-t.log 2>&1 || fail "7z t: $(cat 7z-t.log)"
# Python reads the name stored in code page 437 as é; this unzip writes names
# as stored, so the accented one is left to Python.
python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])" written.zip by-python \
  || fail "python extractall"
diff -r tree by-python/tree || fail "the tree Python's zipfile restored differs"
mkdir unzipped
(cd unzipped && unzip -q ../written.zip) || fail "unzip"
diff -r -x 'caf*' tree unzipped/tree || fail "the tree unzip restored differs"

# --- what the Linux tools write ------------------------------------------------
# ASCII names: zip and 7z store Linux names as they are, without saying which
# code page they are in.
rm "tree/caf$(printf '\xc3\xa9').txt"
zip -qr by-zip.zip tree
python3 - <<'PY'
import os, zipfile
with zipfile.ZipFile("by-python.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in os.walk("tree"):
        for d in dirs:
            z.write(os.path.join(root, d))
        for f in files:
            z.write(os.path.join(root, f))
PY
7z a -tzip -bd by-7z.zip tree > 7z-a.log 2>&1 || fail "7z a: $(cat 7z-a.log)"
for archive in by-zip.zip by-python.zip by-7z.zip; do
  out="out-${archive%.zip}"
  mkdir "$out"
  wzar test "$archive" > "$out.test.log" 2>&1 || fail "zar.exe test $archive: $(cat "$out.test.log")"
  wzar extract -d "$out" "$archive" > "$out.log" 2>&1 || fail "zar.exe extract $archive: $(cat "$out.log")"
  diff -r tree "$out/tree" || fail "the tree zar.exe extracted from $archive differs"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "zar.exe and the Linux tools agree"
