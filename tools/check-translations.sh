#!/usr/bin/env bash
# Fails when a translation of the window is behind its code: a text of ui/ that the .ts file lacks, a
# message the code no longer has, a message left unfinished, or a translation that loses a placeholder,
# a plural form or the accelerator of its source. lupdate updates a copy; the file itself is not touched.
set -euo pipefail
cd "$(dirname "$0")/.."

lupdate="$(qtpaths6 --query QT_HOST_BINS)/lupdate"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-ts.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

status=0
for ts in ui/translations/*.ts; do
  copy="$scratch/$(basename "$ts")"
  cp "$ts" "$copy"
  # Without -no-obsolete: a message the code dropped stays in the copy, marked vanished.
  # Its parser's note on a header outside the window is no fault of the translation.
  "$lupdate" -silent -locations none -I . ui -ts "$copy" 2> >(grep -v 'Ignoring definition' >&2)
  python3 - "$copy" "$ts" <<'PY' || status=1
import re
import sys
import xml.etree.ElementTree as ET

copy, shown = sys.argv[1], sys.argv[2]
root = ET.parse(copy).getroot()
# Plural forms by language: Russian has one, few and many.
forms = {"ru": 3}.get(root.get("language", "").split("_")[0], 2)
problems = []
for context in root.iter("context"):
    name = context.findtext("name")
    for message in context.iter("message"):
        source = message.findtext("source")
        what = f"{name}: {source!r}"
        translation = message.find("translation")
        kind = translation.get("type")
        if kind in ("vanished", "obsolete"):
            problems.append(f"no longer in the code: {what}")
            continue
        if kind == "unfinished":
            problems.append(f"not translated: {what}")
            continue
        texts = [f.text or "" for f in translation.iter("numerusform")] or [translation.text or ""]
        if message.get("numerus") == "yes" and len(texts) != forms:
            problems.append(f"{len(texts)} plural forms instead of {forms}: {what}")
        for text in texts:
            placeholders = lambda t: sorted(set(re.findall(r"%L?\d+", t)))
            if not text.strip():
                problems.append(f"empty translation: {what}")
            elif placeholders(text) != placeholders(source):
                problems.append(f"placeholders differ: {what} -> {text!r}")
            elif ("&" in source.replace("&&", "")) != ("&" in text.replace("&&", "")):
                problems.append(f"accelerator lost or added: {what} -> {text!r}")
for problem in problems:
    print(f"{shown}: {problem}", file=sys.stderr)
sys.exit(1 if problems else 0)
PY
done
if [ "$status" -ne 0 ]; then
  echo "FAILED: bring the translations up to date (cmake --build BUILD --target update_translations) and" \
    "translate every message" >&2
  exit 1
fi
echo "ok: the translations match the window's texts"
