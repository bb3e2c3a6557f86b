#!/usr/bin/env bash
# Fails when a C++ file of the project does not follow .clang-format. Checks the files git tracks
# plus new ones not yet added, so a change is checked before it is committed.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "clang-format is not installed: the format check is skipped" >&2
  exit 0
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "not a git work tree: the format check is skipped" >&2
  exit 0
fi

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' |
                     while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ ${#files[@]} -eq 0 ] && exit 0
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/tessel-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/tessel-format.$$ | cut -d: -f1 | sort -u |
    sed 's/^/  not formatted: /' >&2
  echo "Run: clang-format -i <file> (the settings are in .clang-format)" >&2
  rm -f /tmp/tessel-format.$$
  exit 1
fi
rm -f /tmp/tessel-format.$$
