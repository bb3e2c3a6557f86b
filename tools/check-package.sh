#!/usr/bin/env bash
# Checks Tessel's Debian package the way an installation would meet it: tools/check-package.sh DEB.
# Unpacks it into a scratch folder and checks the installed tree: both programs, the help pages as the
# installed window finds them, where a menu start keeps its files, the desktop entry, the metainfo, the
# icons, the man pages, the systemd units, and lintian. A check whose tool is missing is skipped with
# a message.
set -euo pipefail
[ $# -eq 1 ] || { echo "Usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Tessel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
app=org.example.Tessel

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-package.XXXXXX")
tessel_pid=
cleanup() {
  [ -n "$tessel_pid" ] && kill "$tessel_pid" 2>/dev/null && wait "$tessel_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
root=$scratch/root
dpkg -x "$deb" "$root"

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
have() {
  command -v "$1" >/dev/null && return 0
  echo "skipped: $2 ($1 is not installed)" >&2
  return 1
}

# Both programs, from the unpacked tree.
for program in tessel tessel-batch; do
  said=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version 2>&1) || true
  if [ "$said" = "$program $version" ]; then pass "$program --version"; else fail "$program --version said: $said"; fi
done

# Starts the installed window offscreen with the desktop entry's option and a data folder of its own
# in $1, from an empty current folder; waits until it has logged its start (or $2 seconds), then ends
# it. Its error output lands in $1/stderr.
start_from_menu() {
  local home=$1 seconds=$2 exec_args
  mkdir -p "$home/data" "$home/cwd" "$home/run"
  chmod 700 "$home/run"
  exec_args=$(sed -n 's/^Exec=tessel //p' "$root/usr/share/applications/$app.desktop")
  # shellcheck disable=SC2086 # the entry's arguments, split as the desktop splits them
  (cd "$home/cwd" && XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen \
     exec "$root/usr/bin/tessel" $exec_args 2>"$home/stderr") &
  tessel_pid=$!
  local deadline=$((SECONDS + seconds))
  until grep -q "Start Work Program" "$home/data/tessel/WatchLog.Log" 2>/dev/null ||
        grep -q "Unable to view Tessel help" "$home/stderr" 2>/dev/null ||
        [ $SECONDS -ge $deadline ]; do
    sleep 0.2
  done
  kill "$tessel_pid" 2>/dev/null || true
  wait "$tessel_pid" 2>/dev/null || true
  tessel_pid=
}

menu=$scratch/menu
start_from_menu "$menu" 60
if grep -q "Start Work Program" "$menu/data/tessel/WatchLog.Log" 2>/dev/null &&
   ! grep -q "Unable to view Tessel help" "$menu/stderr"; then
  pass "the installed tessel finds its help pages"
else
  fail "the installed tessel did not start cleanly: $(cat "$menu/stderr")"
fi
if [ -f "$menu/data/tessel/Tessel.ini" ] && [ -d "$menu/data/tessel/Data" ] &&
   [ -z "$(ls -A "$menu/cwd")" ]; then
  pass "started as from the menu, tessel keeps its files in \$XDG_DATA_HOME/tessel, none in the current folder"
else
  fail "files of a menu start: $(cd "$menu" && find data cwd | tr '\n' ' ')"
fi
# The same tree without its help pages must be told apart, or the check above proves nothing.
mv "$root/usr/share/tessel/help" "$scratch/help"
start_from_menu "$scratch/nohelp" 60
mv "$scratch/help" "$root/usr/share/tessel/help"
if grep -q "Unable to view Tessel help" "$scratch/nohelp/stderr"; then
  pass "without its help pages the installed tessel says so"
else
  fail "a tree without help pages went unnoticed"
fi

# Every icon size in the theme, and the scalable drawing.
for size in 16 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/$app.png" ] || fail "no ${size}px icon"
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$app.svg" ] || fail "no scalable icon"
grep -qx "Icon=$app" "$root/usr/share/applications/$app.desktop" || fail "the desktop entry names another icon"

if have desktop-file-validate "desktop entry check"; then
  if desktop-file-validate "$root/usr/share/applications/$app.desktop"; then pass "desktop entry"; else fail "desktop entry"; fi
fi
if have appstreamcli "metainfo check"; then
  if appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >"$scratch/appstream" 2>&1; then
    pass "metainfo"
  else
    cat "$scratch/appstream" >&2
    fail "metainfo"
  fi
  grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app.metainfo.xml" ||
    fail "the metainfo names another version"
fi

# groff exits 0 on warnings: what it says is the verdict.
if have groff "man page check"; then
  for page in tessel tessel-batch; do
    warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -ww -man -Tutf8 -z 2>&1)
    if [ -z "$warnings" ]; then pass "man page $page(1)"; else fail "man page $page(1): $warnings"; fi
  done
fi

# The units name /usr/bin/tessel-batch, which is not installed here: verified copies name the unpacked
# program instead, and man finds the unpacked pages that their Documentation= lines point to.
if have systemd-analyze "systemd unit check"; then
  units=$scratch/units
  mkdir -p "$units" "$scratch/unit-run"
  chmod 700 "$scratch/unit-run"
  for unit in tessel-batch.service tessel-batch.timer tessel-follow.service; do
    sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/usr/lib/systemd/user/$unit" >"$units/$unit"
  done
  grep -q '^ExecStart=/usr/bin/tessel-batch --user-folder --brief --due$' "$root/usr/lib/systemd/user/tessel-batch.service" ||
    fail "the service does not run tessel-batch --user-folder --brief --due"
  # The journal must hear of every timed run: its problems and its summaries.
  grep -q '^StandardOutput=journal$' "$root/usr/lib/systemd/user/tessel-batch.service" ||
    fail "the service does not give the journal tessel-batch's summaries"
  grep -q '^ExecStart=/usr/bin/tessel-batch --user-folder --brief follow$' "$root/usr/lib/systemd/user/tessel-follow.service" ||
    fail "the follow service does not run tessel-batch --user-folder --brief follow"
  if XDG_RUNTIME_DIR=$scratch/unit-run MANPATH=$root/usr/share/man \
       systemd-analyze verify --user "$units/tessel-batch.service" "$units/tessel-batch.timer" \
         "$units/tessel-follow.service"; then
    pass "systemd units"
  else
    fail "systemd units"
  fi
fi

if have lintian "lintian check"; then
  if lintian --fail-on error "$deb" >"$scratch/lintian" 2>&1; then pass "lintian: no errors"; else fail "lintian"; fi
  grep -v 'running with root privileges' "$scratch/lintian" >&2 || true
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package checks passed: $(basename "$deb")"
