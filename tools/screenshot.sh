#!/usr/bin/env bash
# Takes docs/images/main-window.png: the window, offscreen, holding real address books (Thunderbird
# LDIF exports with a mailing list, a Eudora nickname file) from ../shared/samples when present.
set -euo pipefail
cd "$(dirname "$0")/.."
samples=../shared/samples
books=()
for f in ldif/tb-export.ldif ldif/tb-basic_ldif_addressbook.ldif ldif/turba-importCRLF.ldif \
         eudora/mabconvert-EudoraSampleFile.txt; do
  [ -f "$samples/$f" ] && books+=("$samples/$f")
done
books+=(examples/contacts.vcf)
cmake --preset dev >/dev/null
cmake --build --preset dev --target vesk_screenshot -j2
mkdir -p docs/images
QT_QPA_PLATFORM=offscreen build/dev/tests/vesk_screenshot docs/images/main-window.png "${books[@]}"
echo "docs/images/main-window.png from ${books[*]}"
# The wizard's pages (docs/images/wizard-*.png) over a made-up home with a Thunderbird profile and
# an Opera hotlist.
cmake --build --preset dev --target vesk_wizard_screenshot -j2
QT_QPA_PLATFORM=offscreen build/dev/tests/vesk_wizard_screenshot docs/images \
  tests/fixtures/mork/thunderbird_layout.mab
echo "docs/images/wizard-*.png"
