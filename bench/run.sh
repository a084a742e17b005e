#!/usr/bin/env bash
# Vesk's speed and memory in one table: every reader and writer, import with de-duplication,
# the import shapes that were once quadratic, the synchronisation of two books, each at 10^5
# and 10^6 entries (MB/s, entries/s, peak memory of the step, and the 10^5 -> 10^6 time ratio),
# then `vesk convert` side by side with Debian's `abook --convert` on the same files.
# Usage: bench/run.sh            (as root it installs abook with apt-get when missing)
# Environment: VESK_BENCH_COUNTS="100000 1000000" (sizes), VESK_BENCH_RUNS=3 (end-to-end runs).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
counts=(${VESK_BENCH_COUNTS:-100000 1000000})
runs="${VESK_BENCH_RUNS:-3}"
build="$root/build/release"

cd "$root"
{ cmake --preset release && cmake --build --preset release -j2 --target vesk vesk_measure; } \
    >/dev/null || { echo "release build failed" >&2; exit 1; }
vesk="$build/src/vesk"
measure="$build/bench/vesk_measure"
if ! command -v abook >/dev/null && [ "$(id -u)" = 0 ]; then
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y abook; } >/dev/null 2>&1 || true
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One measurement: "entries bytes seconds peak_kB" in $work/m.<label>.<count>, or nothing.
take() {  # label count command...
    local label="$1" count="$2"; shift 2
    "$@" >"$work/m.$label.$count" 2>/dev/null || rm -f "$work/m.$label.$count"
}

row() {  # label
    local label="$1" line="| $1 |" first="" last=""
    for n in "${counts[@]}"; do
        if [ -s "$work/m.$label.$n" ]; then
            read -r entries bytes secs peak <"$work/m.$label.$n"
            line+=$(awk -v e="$entries" -v b="$bytes" -v s="$secs" -v p="$peak" 'BEGIN {
                if (s <= 0) s = 1e-6
                printf " %.3f | %.1f | %.0f | %.0f |", s, b / s / 1e6, e / s, p / 1024 }')
            [ -z "$first" ] && first="$secs"
            last="$secs"
        else
            line+=" – | – | – | – |"
        fi
    done
    if [ "${#counts[@]}" -gt 1 ] && [ -n "$first" ] && [ -s "$work/m.$label.${counts[-1]}" ]; then
        line+=$(awk -v a="$first" -v b="$last" 'BEGIN { printf " %.1f |", b / a }')
    else
        line+=" – |"
    fi
    echo "$line"
}

header="| task |"
rule="|---|"
for n in "${counts[@]}"; do
    header+=" s ($n) | MB/s | entries/s | peak MB |"
    rule+="---|---|---|---|"
done
header+=" time ratio |"
rule+="---|"

labels=()
while read -r id ext reads writes; do
    for n in "${counts[@]}"; do
        file="$work/book.$n.$ext"
        if [ "$writes" = 1 ]; then
            take "write $id" "$n" "$measure" write "$id" "$n" "$file"
        fi
        # A format Vesk only reads has no generated file here (its own bench program covers it).
        if [ "$reads" = 1 ] && [ -s "$file" ]; then
            take "read $id" "$n" "$measure" read "$id" "$file"
        fi
        rm -f "$file" "$file.bak"
    done
    [ "$writes" = 1 ] && labels+=("write $id")
    [ "$reads" = 1 ] && [ "$writes" = 1 ] && labels+=("read $id")
done < <("$measure" formats)

for n in "${counts[@]}"; do
    "$measure" gen vcard "$n" "$work/dup.$n.vcf" && take "import vCard, a tenth repeated" "$n" \
        "$measure" import "$work/dup.$n.vcf"
    "$measure" write kynt "$n" "$work/a.$n.kynt" >/dev/null && "$measure" gen kynt "$n" "$work/b.$n.kynt" &&
        take "synchronise two archives" "$n" "$measure" sync "$work/a.$n.kynt" "$work/b.$n.kynt"
    rm -f "$work"/*."$n".*
    for shape in archive_folders archive_same_folder archive_lists ldif_groups archive_one_list \
        ldif_one_group; do
        case "$shape" in ldif*) ext=ldif ;; *) ext=kynt ;; esac
        "$measure" shape "$shape" "$n" "$work/shape.$ext" &&
            take "import $shape" "$n" "$measure" import "$work/shape.$ext"
        rm -f "$work/shape.$ext"
    done
done
labels+=("import vCard, a tenth repeated" "synchronise two archives")
for shape in archive_folders archive_same_folder archive_lists ldif_groups archive_one_list \
    ldif_one_group; do labels+=("import $shape"); done

echo "## Readers, writers, import and synchronisation"
echo
echo "Release build, $(nproc) cores; CPU seconds of the step alone (user + system, so that other"
echo "work on the machine does not count), peak = memory the step added."
echo
echo "$header"
echo "$rule"
for label in "${labels[@]}"; do row "$label"; done

# End to end, on 100,000 generated vCard 3.0 contacts (accented names, multi-line notes).
python3 - "$work/in.vcf" 100000 <<'PY'
import sys
first = ["Jürgen", "Ann", "Иван", "Zoë", "Bob", "François"]
last = ["Müller", "Lee", "Петров", "Ørsted", "Smith", "Dupré"]
with open(sys.argv[1], "w", encoding="utf-8", newline="\r\n") as f:
    for i in range(int(sys.argv[2])):
        fn, ln = first[i % 6], last[(i // 6) % 6]
        f.write("BEGIN:VCARD\nVERSION:3.0\n")
        f.write(f"N:{ln};{fn};;;\nFN:{fn} {ln} {i}\nNICKNAME:u{i}\n")
        f.write(f"EMAIL;TYPE=INTERNET:user{i}@example.org\nTEL;TYPE=WORK:+41 44 555 {1000 + i % 9000}\n")
        f.write(f"ADR;TYPE=HOME:;;Bahnhofstrasse {i % 200};Zürich;;8001;CH\nORG:Example & Co\\, Ltd.\n")
        if i % 3 == 0:
            f.write("NOTE:Met at the fair.\\nCall after 6pm.\n")
        f.write("END:VCARD\n")
PY
"$vesk" convert "$work/in.vcf" "$work/in.ldif" >/dev/null 2>&1
"$vesk" convert "$work/in.vcf" "$work/in.csv" >/dev/null 2>&1

# Best of $runs: "CPU_seconds peak_kB" of one command, its output removed before each run.
best() {  # output command...
    local out="$1"; shift
    local b=""
    for _ in $(seq "$runs"); do
        rm -f "$out" "$out.bak"
        /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed"; return; }
        read -r u sy m <"$work/time"
        s=$(awk -v u="$u" -v sy="$sy" 'BEGIN { printf "%.2f", u + sy }')
        if [ -z "$b" ] || awk -v s="$s" -v b="${b% *}" 'BEGIN { exit !(s < b) }'; then b="$s $m"; fi
    done
    echo "$b"
}

echo
echo "## End to end: \`vesk convert\` and \`abook --convert\`, 100,000 contacts"
echo
echo "Best of $runs runs each, CPU seconds (user + system); peak = the process's peak memory."
echo
echo "| task | input MB | vesk s | vesk peak MB | peak / input | abook s | abook peak MB | abook / vesk |"
echo "|---|---|---|---|---|---|---|---|"
for task in "vcard in.vcf ldif" "ldif in.ldif vcard" "vcard in.vcf csv" "csv in.csv vcard"; do
    read -r from input to <<<"$task"
    case "$to" in vcard) ext=vcf ;; *) ext="$to" ;; esac
    size=$(stat -c %s "$work/$input")
    v=$(best "$work/out.$ext" "$vesk" convert --from "$from" --to "$to" "$work/$input" "$work/out.$ext")
    if command -v abook >/dev/null; then
        a=$(best "$work/abook.$ext" abook --convert --informat "$from" --infile "$work/$input" \
            --outformat "$to" --outfile "$work/abook.$ext")
    else
        a="–"
    fi
    awk -v t="$from → $to" -v size="$size" -v v="$v" -v a="$a" 'BEGIN {
        split(v, vv, " "); split(a, aa, " ")
        line = sprintf("| %s | %.0f | %.2f | %.0f | %.1f |", t, size / 1e6, vv[1], vv[2] / 1024,
                       vv[2] * 1024 / size)
        if (aa[1] == "" || aa[1] == "–" || aa[1] == "failed") line = line " – | – | – |"
        else line = line sprintf(" %.2f | %.0f | %.1f |", aa[1], aa[2] / 1024, aa[1] / vv[1])
        print line }'
done
