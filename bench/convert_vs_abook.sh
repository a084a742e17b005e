#!/usr/bin/env bash
# Times `vesk convert` against Debian's `abook --convert` on one generated 100,000-contact
# vCard 3.0 file (accented names, multi-line notes): vCard -> LDIF, then that LDIF -> vCard.
# Usage: bench/convert_vs_abook.sh [path/to/vesk] [contacts]   (needs python3 and abook)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
vesk="${1:-$root/build/release/src/vesk}"
count="${2:-100000}"
command -v abook >/dev/null || { echo "abook is not installed (apt-get install abook)" >&2; exit 2; }
[ -x "$vesk" ] || { echo "no vesk binary at $vesk (cmake --preset release && cmake --build --preset release)" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work/in.vcf" "$count" <<'PY'
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

now() { date +%s.%N; }
run() {  # label, command...
    local label="$1"; shift
    local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
    printf '%-34s %8.2f s\n' "$label" "$(echo "$t1 - $t0" | bc)"
    echo "$t1 - $t0" | bc > "$work/t.$label"
}
run vesk.vcf-to-ldif "$vesk" convert "$work/in.vcf" "$work/vesk.ldif"
run abook.vcf-to-ldif abook --convert --informat vcard --infile "$work/in.vcf" \
    --outformat ldif --outfile "$work/abook.ldif"
run vesk.ldif-to-vcf "$vesk" convert "$work/vesk.ldif" "$work/vesk-back.vcf"
run abook.ldif-to-vcf abook --convert --informat ldif --infile "$work/abook.ldif" \
    --outformat vcard --outfile "$work/abook-back.vcf"
for step in vcf-to-ldif ldif-to-vcf; do
    printf '%-34s %8.1fx\n' "speed-up $step" \
        "$(echo "$(cat "$work/t.abook.$step") / $(cat "$work/t.vesk.$step")" | bc -l)"
done
