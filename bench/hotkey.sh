#!/usr/bin/env bash
# Times the hotkey round trip under Xvfb with hyperfine: a 10 KB statement is put on the
# clipboard, dovlek runs until it returns, and the result is on the clipboard. In the same run:
# `xclip -o` alone, the floor (a program that only reads the clipboard), and the same job done by
# `xclip -o | sqlformat -r - | xclip -i`.
# Target: dovlek's median at most 1.5 times the floor's.
# Then one cold figure each for dovlek and the floor, with the page cache dropped before every
# run, where the machine allows it (root, /proc/sys/vm/drop_caches writable).
# Exits non-zero when the target is missed.
# Usage: bench/hotkey.sh   (BUILD_DIR=... for another build directory; default build-hotkey;
#                           RUNS=... timed runs per command, default 60; COLD_RUNS=..., default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-hotkey}
runs=${RUNS:-60}
cold_runs=${COLD_RUNS:-10}

scripts/setup.sh build bench >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_TESTS=OFF >/dev/null
cmake --build "$build" --target dovlek >&2
dovlek=$(pwd)/$build/app/dovlek

source scripts/xvfb.sh
tmp=$(mktemp -d)
cleanup() {
  # Ending the server also ends the processes that still serve its clipboard.
  stop_xvfb
  rm -rf "$tmp"
}
trap cleanup EXIT
start_xvfb "$tmp" || { echo "Xvfb did not start" >&2; exit 1; }
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$tmp}

# A 10 KB statement: one SELECT with many columns, joins and conditions.
/usr/bin/python3 - "$tmp/statement.sql" <<'PY'
import random, sys
random.seed(10)
parts, size, i = ["SELECT o.id"], 0, 0
while len(", ".join(parts)) < 6000:
    i += 1
    parts.append(f"o.col_{i} AS c{i}" if i % 3 else f"SUM(l.amount_{i}) AS total_{i}")
text = ", ".join(parts) + " FROM orders o"
j = 0
while len(text) < 8500:
    j += 1
    text += f" JOIN lines_{j} l{j} ON l{j}.order_id = o.id AND l{j}.kind = 'k{j}'"
text += " WHERE o.created >= '2024-01-01'"
k = 0
while len(text) < 10 * 1024 - 40:
    k += 1
    text += f" AND (o.flag_{k} = {k} OR o.name LIKE 'n{k}%')"
text += " GROUP BY o.id ORDER BY o.id"
open(sys.argv[1], "w").write(text)
PY
# xclip -i returns before its background process has taken the clipboard; a run started then
# would read the old content and, rightly, refuse to overwrite the new. Wait until it serves.
cat >"$tmp/put" <<SH
#!/bin/sh
xclip -selection clipboard -i $tmp/statement.sql
until xclip -selection clipboard -o 2>/dev/null | cmp -s - $tmp/statement.sql; do sleep 0.01; done
SH
chmod +x "$tmp/put"
put_statement=$tmp/put

# The result must be right before it is timed: dovlek's clipboard result is its stdio layout.
$put_statement
"$dovlek"
xclip -selection clipboard -o >"$tmp/by-clipboard"
env -u DISPLAY -u WAYLAND_DISPLAY "$dovlek" <"$tmp/statement.sql" >"$tmp/by-stdio"
cmp -s "$tmp/by-clipboard" "$tmp/by-stdio" || { echo "dovlek's clipboard result is wrong" >&2; exit 1; }
cmp -s "$tmp/by-clipboard" "$tmp/statement.sql" && { echo "dovlek changed nothing" >&2; exit 1; }
$put_statement
xclip -selection clipboard -o | sqlformat -r - | xclip -selection clipboard -i
[[ $(xclip -selection clipboard -o | wc -l) -gt 10 ]] || { echo "sqlformat laid out nothing" >&2; exit 1; }

echo "statement: $(wc -c <"$tmp/statement.sql") bytes; $(nproc) cores; $runs runs each" >&2
hyperfine --warmup 5 --runs "$runs" --prepare "$put_statement" \
  --export-json "$tmp/times.json" \
  -n dovlek "$dovlek" \
  -n 'xclip -o (floor)' 'xclip -selection clipboard -o >/dev/null' \
  -n 'xclip | sqlformat | xclip' \
  'xclip -selection clipboard -o | sqlformat -r - | xclip -selection clipboard -i'

# The result of the last timed dovlek run is still pastable.
$put_statement
"$dovlek"
xclip -selection clipboard -o | cmp -s - "$tmp/by-stdio" || { echo "no result after the run" >&2; exit 1; }

# Cold: the first press after the page cache lost dovlek's files (and xclip's).
cold_json=
if [[ $(id -u) == 0 ]] && (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
  # Dropped after the statement is put, so that xclip -i does not bring the floor's files back.
  hyperfine --runs "$cold_runs" --prepare "$put_statement; sync; echo 3 >/proc/sys/vm/drop_caches" \
    --export-json "$tmp/cold.json" \
    -n 'dovlek, cold' "$dovlek" \
    -n 'xclip -o (floor), cold' 'xclip -selection clipboard -o >/dev/null'
  cold_json=$tmp/cold.json
else
  echo "cold figures skipped: the page cache cannot be dropped here" >&2
fi

/usr/bin/python3 - "$tmp/times.json" "$cold_json" <<'PY'
import json, statistics, sys
def load(path):
    return json.load(open(path))["results"] if path else []
results = load(sys.argv[1])
cold = load(sys.argv[2])
print()
for r in results + cold:
    t = [x * 1000 for x in r["times"]]
    spread = f"{statistics.stdev(t):5.1f}" if len(t) > 1 else "  -  "
    print(f"{r['command']:<28} median {statistics.median(t):7.2f} ms   mean {statistics.mean(t):7.2f} ± {spread} ms   "
          f"min {min(t):6.2f}   max {max(t):6.2f}")
ms = {r["command"]: statistics.median(r["times"]) * 1000 for r in results + cold}
dovlek, floor, pipeline = ms["dovlek"], ms["xclip -o (floor)"], ms["xclip | sqlformat | xclip"]
ratio = dovlek / floor
print(f"\ndovlek / floor: {ratio:.2f} (target <= 1.5); sqlformat pipeline / dovlek: {pipeline / dovlek:.1f}")
if cold:
    print(f"cold: dovlek / floor: {ms['dovlek, cold'] / ms['xclip -o (floor), cold']:.2f}")
print("target met" if ratio <= 1.5 else "TARGET MISSED")
sys.exit(0 if ratio <= 1.5 else 1)
PY
