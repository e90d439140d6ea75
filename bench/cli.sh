#!/usr/bin/env bash
# tagkana-cli over a large generated collection: FILES small MP3 files (six
# MPEG frames and an ID3v1 tag with a romaji title) in FOLDERS folders.
#   preview -r          beside a bare loop of the tag library's reads
#   convert -r --yes    beside a bare loop of its reads and writes of the
#                       converted titles (bench/cli_bare.cpp)
#   --jobs 2            beside --jobs 1, both with a warm cache
#   peak memory         of every run (GNU time's maximum resident set size)
#   kid3-cli, mid3v2    the same title changes, one folder (kid3-cli) or one
#                       file (mid3v2) per process, over SAMPLE files (mid3v2:
#                       a tenth of them), since they start a process that often
# kid3-cli is a benchmark-only dependency: installed through apt when missing
# and allowed (TAGKANA_BENCH_INSTALL=0 skips that column instead); mid3v2
# comes with python3-mutagen, which scripts/setup installs.
#   bench/cli.sh [FILES [FOLDERS [SAMPLE [build folder]]]]   (100000 1000 2000)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
files=${1:-100000}
folders=${2:-1000}
sample=${3:-2000}
build=${4:-$root/build/bench}
per_folder=$(((files + folders - 1) / folders))

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DTAGKANA_BENCH=ON -DTAGKANA_TEST_HOOKS=OFF >/dev/null
cmake --build "$build" -j "${TAGKANA_JOBS:-2}" --target tagkana-cli cli_bare VBMP3 >/dev/null
cli=$build/bin/tagkana-cli
bare=$build/bin/cli_bare

work=$build/cli-bench
pristine=$work/pristine
music=$work/music
export XDG_STATE_HOME=$work/state
mkdir -p "$work"
if [[ ! -f $pristine/.made || $(cat "$pristine/.made") != "$files $folders" ]]; then
  rm -rf "$pristine"
  /usr/bin/python3 - "$pristine" "$files" "$folders" <<'PY'
import os, sys
out, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
words = ["sakura", "yama", "kawa", "hikari", "yozora no mukou", "kaze", "hana", "tsuki",
         "umi", "sora", "natsu matsuri", "yuki"]
frames = (b"\xff\xfb\x90\x64" + bytes(413)) * 6
per = -(-files // folders)
for n in range(files):
    folder = os.path.join(out, "artist%03d" % (n // per // 10), "album%04d" % (n // per))
    os.makedirs(folder, exist_ok=True)
    title = ("%s %d" % (words[n % len(words)], n))[:30].encode()
    tag = (b"TAG" + title.ljust(30, b"\0") + b"hikaru".ljust(30, b"\0") +
           b"natsu".ljust(30, b"\0") + b"2024" + bytes(30) + b"\xff")
    with open(os.path.join(folder, "track%06d.mp3" % n), "wb") as f:
        f.write(frames + tag)
PY
  echo "$files $folders" >"$pristine/.made"
fi
restore() {
  rm -rf "$music" "$XDG_STATE_HOME"
  cp -a "$pristine" "$music"
  find "$music" -name '*.mp3' -exec cat {} + >/dev/null  # a warm cache
}
list=$work/list.txt

# measure LABEL COMMAND...: one row of the table; the run's output is kept.
results=()
measure() {
  local label=$1
  shift
  local rc=0
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" || rc=$?
  [[ $rc -eq 0 ]] || echo "cli.sh: $label ended with status $rc: $(tail -n 3 "$work/err.txt")" >&2
  local seconds kb
  read -r seconds kb <"$work/time.txt"
  results+=("$label|$seconds|$kb")
  printf '%-44s %8.2f s %8.1f MB\n' "$label" "$seconds" "$(awk -v k="$kb" 'BEGIN {print k / 1024}')"
}
seconds_of() {
  local row
  for row in "${results[@]}"; do
    [[ ${row%%|*} == "$1" ]] && { row=${row#*|}; echo "${row%%|*}"; return; }
  done
}
ratio() { awk -v a="$(seconds_of "$1")" -v b="$(seconds_of "$2")" 'BEGIN {printf "%.2f", a / b}'; }

echo "== $files files in $folders folders ($per_folder each); $(nproc) cores"
restore
find "$music" -name '*.mp3' | LC_ALL=C sort >"$list"
# Reads are short: five rounds, in turn, so that all three see the same load;
# the table keeps each one's median.
rounds=()
for _ in 1 2 3 4 5; do
  measure "tagkana-cli preview -r" "$cli" preview -r "$music" >/dev/null
  measure "bare reads (cli_bare read)" "$bare" read <"$list" >/dev/null
  measure "tagkana-cli preview -r --jobs 2" "$cli" preview -r --jobs 2 "$music" >/dev/null
done
rounds=("${results[@]}")
results=()
for label in "tagkana-cli preview -r" "bare reads (cli_bare read)" "tagkana-cli preview -r --jobs 2"; do
  row=$(printf '%s\n' "${rounds[@]}" | awk -F'|' -v l="$label" '$1 == l {print $2, $3}' | sort -n |
    sed -n 3p)
  read -r seconds kb <<<"$row"
  results+=("$label|$seconds|$kb")
  printf '%-44s %8.2f s %8.1f MB  (median of 5)\n' "$label" "$seconds" \
    "$(awk -v k="$kb" 'BEGIN {print k / 1024}')"
done

restore
measure "tagkana-cli convert -r --yes" "$cli" convert -r --yes "$music"
awk '/　成功$/ {n++} END {print n + 0}' "$work/out.txt" >"$work/written.txt"
restore
measure "bare reads and writes (cli_bare write)" "$bare" write <"$list"
restore
measure "tagkana-cli convert -r --yes --jobs 2" "$cli" convert -r --yes --jobs 2 "$music"

# The other tools make the same title changes, in their own ID3v2 tags.
restore
mid3v2_sample=$(((sample + 9) / 10))
"$cli" preview -r --json "$music" | /usr/bin/python3 -c '
import json, os, sys
plans, count, limit = {}, 0, int(sys.argv[1])
mid3v2, mid3v2_limit = [], int(sys.argv[3])
for line in sys.stdin:
    row = json.loads(line)
    if count < limit:
        plans.setdefault(os.path.dirname(row["path"]), []).append(
            (os.path.basename(row["path"]), row["new"]["title"]))
        count += 1
    if len(mid3v2) < mid3v2_limit:
        mid3v2.append((row["new"]["title"], row["path"]))
out = sys.argv[2]
with open(out + "/kid3.plan", "w") as k:
    for folder, rows in plans.items():
        args = []
        for name, title in rows:
            args += ["-c", "select none", "-c", "select \"%s\"" % name,
                     "-c", "set title \"%s\" 2" % title]
        args += ["-c", "save"]
        k.write(folder + "\t" + "\t".join(args) + "\n")
with open(out + "/mid3v2.plan", "wb") as m:
    for title, path in mid3v2:
        m.write((title + "\0" + path + "\0").encode())
' "$sample" "$work" "$mid3v2_sample"
kid3_runs() {
  local args
  # A line: the folder, then kid3-cli's arguments, separated by tabs.
  while IFS=$'\t' read -r -a args; do
    kid3-cli "${args[@]:1}" "${args[0]}" >/dev/null
  done <"$work/kid3.plan"
}
mid3v2_runs() {
  # shellcheck disable=SC2016  # expanded by the inner shell
  xargs -0 -n 2 sh -c 'exec /usr/bin/mid3v2 -t "$0" "$1"' <"$work/mid3v2.plan"
}
if ! command -v kid3-cli >/dev/null && [[ ${TAGKANA_BENCH_INSTALL:-1} != 0 ]]; then
  echo "cli.sh: installing kid3-cli (benchmark only)" >&2
  if [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends kid3-cli >/dev/null
  else
    sudo DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends kid3-cli >/dev/null
  fi
fi
export -f kid3_runs mid3v2_runs
export work
if command -v kid3-cli >/dev/null; then
  measure "kid3-cli, $sample files" bash -c kid3_runs
  # The first planned file holds the title it was given.
  kid3_check=$(/usr/bin/python3 -c '
import sys, mutagen.id3
plan = open(sys.argv[1]).readline().rstrip("\n").split("\t")
folder, name, title = plan[0], plan[4][len("select \""):-1], plan[6][len("set title \""):-3]
print("ok" if str(mutagen.id3.ID3(folder + "/" + name)["TIT2"]) == title else "differs")
' "$work/kid3.plan")
  [[ $kid3_check == ok ]] || echo "cli.sh: kid3-cli did not write the planned title" >&2
else
  echo "cli.sh: kid3-cli is not installed; its column is skipped" >&2
fi
restore
if [[ -x /usr/bin/mid3v2 ]]; then
  measure "mid3v2, $mid3v2_sample files" bash -c mid3v2_runs
else
  echo "cli.sh: mid3v2 (python3-mutagen) is not installed; its column is skipped" >&2
fi

echo
echo "preview -r / bare reads:           $(ratio "tagkana-cli preview -r" "bare reads (cli_bare read)") (target <= 1.3)"
echo "convert -r / bare writes:          $(ratio "tagkana-cli convert -r --yes" "bare reads and writes (cli_bare write)") (target <= 1.3)"
echo "preview --jobs 1 / --jobs 2:       $(ratio "tagkana-cli preview -r" "tagkana-cli preview -r --jobs 2") (target >= 1.5)"
echo "convert --jobs 1 / --jobs 2:       $(ratio "tagkana-cli convert -r --yes" "tagkana-cli convert -r --yes --jobs 2") (target >= 1.5)"
echo "files written by convert:          $(cat "$work/written.txt")"
for tool in "kid3-cli|$sample" "mid3v2|$mid3v2_sample"; do
  s=$(seconds_of "${tool%|*}, ${tool#*|} files")
  [[ -n $s ]] && awk -v s="$s" -v n="${tool#*|}" -v all="$files" -v t="${tool%|*}" \
    'BEGIN {printf "%-34s %.1f files/s, about %.0f s for all %d files\n", t ":", n / s, s * all / n, all}'
done
rm -rf "$music"
