#!/usr/bin/env bash
# The file systems people sync to: runs the real tessel-batch against small loop images and FUSE
# mounts (ext4, btrfs, xfs, tmpfs, exFAT by the kernel where its driver loads and through exfat-fuse,
# NTFS through ntfs-3g, and sshfs to an sshd of its own on localhost), each scenario as a user would:
# a first run, a second run that copies nothing, edits, versions, deletions, a move, a two-way watch
# with a deletion and a conflict, a case-only clash, a name the destination refuses and links copied
# as links (or refused, one line each, where the file system has none). Needs root,
# loop devices and FUSE; elsewhere it says so and skips. Everything it mounts goes again on every exit.
#
#   tests/filesystems.sh BUILD-FOLDER [FILE-SYSTEM ...]   (a build with tessel-batch and tessel-fs-tool)
#
# A scenario the engine does not handle yet is listed in EXPECTED_TO_FAIL with the reason: it is run
# and shown as XFAIL, and as XPASS once it passes (then take it off the list).
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?give the build folder}" && pwd)
shift
batch="$build/tessel-batch"
tool="$build/tests/tessel-fs-tool"
wanted=("$@")
[ ${#wanted[@]} -eq 0 ] && wanted=(ext4 btrfs xfs tmpfs exfat exfat-fuse ntfs-3g sshfs)

if [ "$(id -u)" -ne 0 ]; then
    echo "file-system matrix skipped: it mounts loop images and FUSE file systems, which needs root"
    exit 0
fi
if [ ! -e /dev/fuse ] || ! losetup -f >/dev/null 2>&1; then
    echo "file-system matrix skipped: no loop devices or no /dev/fuse here"
    exit 0
fi

# The work the walk does not do yet: scenario, then "|" and what the probe's line of the file system
# says where it fails (case-insensitive; "refuses :" for a name with a colon), mapped to the reason.
declare -A EXPECTED_TO_FAIL=(
)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-fs.XXXXXX")
keep_work=${KEEP_WORK:-}
mounts=()  # mount points, unmounted last first
loops=()
sshd_pid=""
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null
    done
    for loop in "${loops[@]}"; do losetup -d "$loop" 2>/dev/null; done
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null
    if [ -n "$keep_work" ]; then cp -a "$scratch"/work-* "$keep_work"/ 2>/dev/null; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0 failed=0 xfailed=0 xpassed=0 skipped=0
failures=()

# mount_fs NAME POINT: mounts a fresh, small NAME at POINT; false (with a reason in $why) if it cannot.
mount_fs() {
    local name=$1 point=$2 image="$scratch/$1.img" loop
    mkdir -p "$point"
    why=""
    case $name in
    tmpfs)
        mount -t tmpfs -o size=256m tmpfs "$point" || { why="tmpfs does not mount"; return 1; }
        mounts+=("$point")
        return 0
        ;;
    sshfs)
        mkdir -p "$scratch/ssh" "$scratch/remote"
        ssh-keygen -q -t ed25519 -N '' -f "$scratch/ssh/host" && ssh-keygen -q -t ed25519 -N '' -f "$scratch/ssh/client" ||
            { why="ssh-keygen failed"; return 1; }
        cp "$scratch/ssh/client.pub" "$scratch/ssh/authorized"
        mkdir -p /run/sshd
        local port tries
        # A free port: sshd ends at once when another program holds the one it was given.
        for tries in 1 2 3 4 5; do
            port=$((20000 + RANDOM % 20000))
            cat >"$scratch/ssh/config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $scratch/ssh/host
AuthorizedKeysFile $scratch/ssh/authorized
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
PidFile none
Subsystem sftp internal-sftp
EOF
            /usr/sbin/sshd -D -e -f "$scratch/ssh/config" 2>"$scratch/ssh/log" &
            sshd_pid=$!
            sleep 0.3
            kill -0 "$sshd_pid" 2>/dev/null && break
            sshd_pid=""
        done
        [ -n "$sshd_pid" ] || { why="sshd does not start: $(tail -3 "$scratch/ssh/log" | tr '\n' ' ')"; return 1; }
        for tries in 1 2 3 4 5 6 7 8 9 10; do
            sshfs -p "$port" -o "IdentityFile=$scratch/ssh/client,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes" \
                "root@127.0.0.1:$scratch/remote" "$point" 2>/dev/null && { mounts+=("$point"); return 0; }
            sleep 0.3
        done
        why="sshfs to a local sshd did not mount: $(tail -3 "$scratch/ssh/log" | tr '\n' ' ')"
        return 1
        ;;
    esac
    truncate -s 320M "$image"
    case $name in
    ext4) mkfs.ext4 -q -F "$image" ;;
    btrfs) mkfs.btrfs -q "$image" >/dev/null ;;
    xfs) mkfs.xfs -q "$image" ;;
    exfat | exfat-fuse) mkfs.exfat "$image" >/dev/null ;;
    ntfs-3g) mkntfs -q -F -Q "$image" >/dev/null 2>&1 ;;
    esac || { why="mkfs for $name failed"; return 1; }
    loop=$(losetup -f --show "$image") || { why="no loop device"; return 1; }
    loops+=("$loop")
    case $name in
    exfat) mount -t exfat "$loop" "$point" 2>/dev/null || { why="the kernel's exFAT driver does not load here"; return 1; } ;;
    exfat-fuse) mount.exfat-fuse "$loop" "$point" >/dev/null 2>&1 || { why="exfat-fuse does not mount"; return 1; } ;;
    ntfs-3g) ntfs-3g "$loop" "$point" || { why="ntfs-3g does not mount"; return 1; } ;;
    *) mount "$loop" "$point" || { why="$name does not mount"; return 1; } ;;
    esac
    mounts+=("$point")
}

# --- helpers of the scenarios; each scenario prints why it fails and returns non-zero ---

# sync_run INDEX: runs watch INDEX of $wth; its log lines land in $out, its exit status in $rc.
sync_run() {
    out="$work/out.$1.txt"
    # Run in the work folder: no Tessel.ini there, so versions are kept as by default, and the state of
    # the two-way watches goes to its Data folder.
    (cd "$work" && "$batch" --watch-file "$wth" --log-file "$work/log.txt" "$1" >"$out" 2>&1)
    rc=$?
}
copies() { grep -c -E ": (Copied|Moved) file |: Delete file " "$out"; }
say() { echo "      $*"; }
# names, sizes and contents of a tree, without the versions folder
contents() { (cd "$1" && find . -path ./.tessel-versions -prune -o -type f -print0 | sort -z | xargs -0 -r md5sum); }
# what a second run must not change: names, sizes and modification times
shape() { (cd "$1" && find . -path ./.tessel-versions -prune -o -printf '%p %s %T@\n' | sort); }

make_source() {
    local s=$1
    mkdir -p "$s/docs/deep/er" "$s/photos"
    echo "first report" >"$s/docs/report.txt"
    echo "notes" >"$s/docs/deep/er/notes.md"
    head -c 1048576 /dev/urandom >"$s/photos/big.bin"
    : >"$s/empty.txt"
    echo "read only" >"$s/docs/readonly.txt"
    chmod 0444 "$s/docs/readonly.txt"
    echo "private" >"$s/docs/private.txt"
    chmod 0600 "$s/docs/private.txt"
    touch -d '2019-06-01 12:00:00.123456789' "$s/docs/report.txt"
    setfattr -n user.origin -v camera "$s/photos/big.bin" 2>/dev/null
    setfattr -n user.origin -v camera "$s/photos" 2>/dev/null
}

scenario_first_second() {
    make_source "$work/src"
    sync_run 0
    [ "$rc" -eq 0 ] || { say "first run exited $rc"; cat "$out"; return 1; }
    [ "$(contents "$work/src")" = "$(contents "$dst/one")" ] || { say "the copy differs from the source"; return 1; }
    if [[ $probe == *"attributes: user"* ]] && [ -n "$(getfattr --only-values -n user.origin "$work/src/photos" 2>/dev/null)" ]; then
        [ "$(getfattr --only-values -n user.origin "$dst/one/photos" 2>/dev/null)" = camera ] ||
            { say "the folder made was not given its source's attribute"; return 1; }
    fi
    local before
    before=$(shape "$dst/one")
    sync_run 0
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "second run copied or failed (exit $rc):"; grep -E "Copied|Error" "$out" | head; return 1; }
    [ "$before" = "$(shape "$dst/one")" ] || { say "the second run changed the tree"; return 1; }
}

scenario_edits_and_versions() {
    echo "second report, longer" >"$work/src/docs/report.txt"
    printf 'NOTES\n' >"$work/src/docs/deep/er/notes.md"  # the same size
    touch -d '2030-01-01 00:00:00' "$work/src/docs/deep/er/notes.md"
    sync_run 0
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 2 ] || { say "the edits were not copied as two replacements (exit $rc)"; cat "$out"; return 1; }
    [ "$(contents "$work/src")" = "$(contents "$dst/one")" ] || { say "the copy differs after the edits"; return 1; }
    local kept
    kept=$(find "$dst/one/.tessel-versions" -name report.txt | head -1)
    [ -n "$kept" ] && [ "$(cat "$kept")" = "first report" ] || { say "no whole version of the replaced report"; return 1; }
    [ "$(cat "$(find "$dst/one/.tessel-versions" -name notes.md | head -1)")" = "notes" ] || { say "no version of notes.md"; return 1; }
    sync_run 0
    [ "$(copies)" -eq 0 ] || { say "the run after the edits copied again"; return 1; }
}

scenario_delete_absent() {
    rm "$work/src/empty.txt" "$work/src/docs/private.txt"
    sync_run 0
    [ "$rc" -eq 0 ] || { say "the deletion run exited $rc"; cat "$out"; return 1; }
    [ ! -e "$dst/one/empty.txt" ] && [ ! -e "$dst/one/docs/private.txt" ] || { say "absent files were not deleted"; return 1; }
    [ "$(cat "$(find "$dst/one/.tessel-versions" -name private.txt | head -1)")" = "private" ] ||
        { say "the deleted file was not kept as a version"; return 1; }
    sync_run 0
    [ "$(copies)" -eq 0 ] || { say "the run after the deletions did something"; return 1; }
}

scenario_move() {
    mkdir -p "$work/outbox"
    echo "moving out" >"$work/outbox/letter.txt"
    sync_run 1
    [ "$rc" -eq 0 ] && [ ! -e "$work/outbox/letter.txt" ] && [ "$(cat "$dst/moved/letter.txt" 2>/dev/null)" = "moving out" ] ||
        { say "the move did not take the file across (exit $rc)"; cat "$out"; return 1; }
    # A name already taken is never replaced by a move.
    echo "second letter" >"$work/outbox/letter.txt"
    sync_run 1
    [ "$rc" -eq 1 ] && [ "$(cat "$dst/moved/letter.txt")" = "moving out" ] && [ -e "$work/outbox/letter.txt" ] ||
        { say "a move replaced a file or lost the source (exit $rc)"; return 1; }
}

scenario_two_way() {
    local a="$work/two" b="$dst/two"
    mkdir -p "$a/sub" "$b"
    echo "shared" >"$a/shared.txt"
    echo "to delete" >"$a/sub/delete-me.txt"
    echo "base" >"$a/conflict.txt"
    echo "from b" >"$b/only-b.txt"
    sync_run 2
    [ "$rc" -eq 0 ] || { say "the first two-way run exited $rc"; cat "$out"; return 1; }
    [ "$(contents "$a")" = "$(contents "$b")" ] || { say "the first two-way run did not make both sides alike"; return 1; }
    sync_run 2
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "the second two-way run copied (exit $rc)"; grep Copied "$out"; return 1; }
    rm "$b/sub/delete-me.txt"
    sleep 1.1  # the edits must differ from the last run's times on a file system that keeps seconds
    echo "edited in a, longer" >"$a/conflict.txt"
    echo "edited in b" >"$b/conflict.txt"
    sync_run 2
    [ "$rc" -eq 1 ] || { say "a conflict did not make the run exit 1 (exit $rc)"; cat "$out"; return 1; }
    [ ! -e "$a/sub/delete-me.txt" ] || { say "the deletion on one side did not reach the other"; return 1; }
    # The other edit is kept beside the file on its own side; the next run takes it across.
    ls "$a"/conflict.conflict-* >/dev/null 2>&1 || ls "$b"/conflict.conflict-* >/dev/null 2>&1 ||
        { say "no conflict copy was kept"; return 1; }
    sync_run 2  # takes the conflict copy across
    sync_run 2
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "two-way runs after the conflict went on copying (exit $rc)"; cat "$out"; return 1; }
    [ "$(contents "$a")" = "$(contents "$b")" ] || { say "the two sides differ after the conflict"; return 1; }
}

# A stick keeps its times in local time: mounted again in another time zone, or after the clocks change
# (a zone with daylight saving), a run finds every file as it left it.
scenario_zone_change() {
    local zone loop=${loops[${#loops[@]} - 1]}
    for zone in "<+03>-3" "CET-1CEST,M3.5.0,M10.5.0/3" "UTC0"; do
        umount "$point" && TZ=$zone mount.exfat-fuse "$loop" "$point" >/dev/null 2>&1 ||
            { say "cannot mount the stick again in TZ=$zone"; return 1; }
        out="$work/out.zone.txt"
        (cd "$work" && TZ=$zone "$batch" --watch-file "$wth" --log-file "$work/log.txt" 0 >"$out" 2>&1)
        rc=$?
        [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] ||
            { say "in TZ=$zone the run copied $(copies) files (exit $rc)"; grep -E "Copied|Error" "$out" | head; return 1; }
    done
}

scenario_case_clash() {
    local s="$work/cases"
    mkdir -p "$s"
    echo "upper" >"$s/Case.txt"
    echo "lower case" >"$s/case.txt"
    sync_run 3
    local first=$rc
    sync_run 3
    # Both survive where the destination can hold both; else one is copied and the other reported,
    # every run alike, and nothing is copied over the other.
    if [ -e "$dst/cases/Case.txt" ] && [ -e "$dst/cases/case.txt" ] && [ "$(ls "$dst/cases" | wc -l)" -eq 2 ]; then
        [ "$first" -eq 0 ] && [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "the second run copied a case twin again"; return 1; }
        return 0
    fi
    [ "$rc" -eq 1 ] && [ "$(copies)" -eq 0 ] && [ "$(grep -c "Error" "$out")" -eq 1 ] ||
        { say "case twins: the second run copied $(copies) files and exited $rc"; grep -E "Copied|Error" "$out"; return 1; }
    # A copy spells a name as its source does: a change of case there is a rename here.
    rm "$s/case.txt"
    mv "$s/Case.txt" "$s/CASE.txt"
    sync_run 3
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] && [ "$(ls "$dst/cases")" = "CASE.txt" ] ||
        { say "a one-way rename of case only: $(ls "$dst/cases" | tr '\n' ' ')(exit $rc)"; cat "$out"; return 1; }
}

scenario_two_way_case() {
    local a="$work/twocase" b="$dst/twocase"
    mkdir -p "$a" "$b"
    echo "renamed" >"$a/readme.txt"
    sync_run 4
    mv "$a/readme.txt" "$a/README.txt"
    sync_run 4
    sync_run 4
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] && [ "$(ls "$b")" = "README.txt" ] && [ "$(ls "$a")" = "README.txt" ] ||
        { say "a rename of case only: $(ls "$a" | tr '\n' ' ')| $(ls "$b" | tr '\n' ' ')(exit $rc)"; return 1; }
    # The other way, with an edit: renamed, then the edit copied, and no conflict.
    echo "edited" >>"$b/README.txt"
    mv "$b/README.txt" "$b/ReadMe.txt"
    sync_run 4
    [ "$rc" -eq 0 ] && [ "$(ls "$a")" = "ReadMe.txt" ] && [ "$(ls "$b")" = "ReadMe.txt" ] &&
        [ "$(contents "$a")" = "$(contents "$b")" ] && ! grep -q Conflict "$out" ||
        { say "a rename of case with an edit on the other side: $(ls "$a" | tr '\n' ' ')| $(ls "$b" | tr '\n' ' ')(exit $rc)"; cat "$out"; return 1; }
}

scenario_refused_name() {
    local s="$work/names"
    mkdir -p "$s"
    echo "fine" >"$s/plain.txt"
    echo "colon" >"$s/time 10:30.txt"
    sync_run 5
    [ "$(cat "$dst/names/plain.txt" 2>/dev/null)" = "fine" ] || { say "the ordinary name was not copied"; return 1; }
    if [ -e "$dst/names/time 10:30.txt" ]; then
        [ "$rc" -eq 0 ] || { say "exit $rc with every name copied"; return 1; }
        return 0
    fi
    [ "$rc" -eq 1 ] && [ "$(grep -c Error "$out")" -eq 1 ] && grep -q "Error.*10:30.*name" "$out" ||
        { say "the refused name: exit $rc, $(grep Error "$out")"; return 1; }
}

# Both ways: case twins and a refused name on the local side get their lines on every run, nothing is
# written over anything, and what the stick holds comes back unchanged.
scenario_two_way_names() {
    local a="$work/twonames" b="$dst/twonames"
    mkdir -p "$a" "$b"
    echo "upper" >"$a/Twin.txt"
    echo "lower case" >"$a/twin.txt"
    echo "colon" >"$a/time 10:30.txt"
    echo "from the stick" >"$b/stick.txt"
    local before
    before=$(contents "$a")
    sync_run 7
    sync_run 7
    [ "$(cat "$a/stick.txt" 2>/dev/null)" = "from the stick" ] || { say "the stick's file did not come across"; return 1; }
    [ "$(contents "$a" | grep -v stick.txt)" = "$before" ] || { say "a local file was changed"; contents "$a"; return 1; }
    if [ "$(ls "$b" | wc -l)" -eq 4 ]; then
        [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "the second run copied or failed (exit $rc)"; return 1; }
        return 0
    fi
    [ "$rc" -eq 1 ] && [ "$(copies)" -eq 0 ] && [ "$(grep -c Error "$out")" -eq 2 ] ||
        { say "the second two-way run: exit $rc, $(copies) copies"; grep -E "Copied|Error" "$out"; return 1; }
    local twin
    twin=$(ls "$b" | grep -i '^twin.txt$')
    [ "$(cat "$b/$twin")" = "$(cat "$a/$twin")" ] || { say "a twin went over the other"; return 1; }
}

scenario_links() {
    # A watch that copies links as links (made by tessel-batch add, index 6): where the file system holds
    # links, each becomes a link with the same target, alike on the next run; where it holds none, each
    # is one error line and nothing is written for it.
    local s="$work/links"
    echo "target" >"$s/file.txt"
    ln -s file.txt "$s/to-file"
    ln -s nowhere "$s/dangling"
    sync_run 6
    [ "$(cat "$dst/links/file.txt" 2>/dev/null)" = target ] || { say "the file beside the links was not copied"; return 1; }
    if [[ $probe == *"no symbolic links"* ]]; then
        [ "$rc" -eq 1 ] && [ "$(grep -c "cannot hold symbolic links" "$out")" -eq 2 ] &&
            [ ! -e "$dst/links/to-file" ] && [ ! -L "$dst/links/dangling" ] ||
            { say "links onto a file system without them: exit $rc, $(grep Error "$out")"; return 1; }
        return 0
    fi
    [ "$rc" -eq 0 ] && [ "$(readlink "$dst/links/to-file")" = file.txt ] &&
        [ "$(readlink "$dst/links/dangling")" = nowhere ] ||
        { say "links copied as links: exit $rc, $(ls -l "$dst/links" | tr '\n' ' ')"; cat "$out"; return 1; }
    sync_run 6
    [ "$rc" -eq 0 ] && [ "$(copies)" -eq 0 ] || { say "a second run copied again: $(cat "$out")"; return 1; }
}

scenario_attributes() {
    # A copy keeps what the destination holds and says what it dropped.
    local f="$work/attr.bin" expect
    echo data >"$f"
    setfattr -n user.origin -v camera "$f"
    setfacl -m u:1:r "$f" 2>/dev/null
    mkdir -p "$dst/attr"
    local said
    said=$("$tool" xattr-copy "$f" "$dst/attr") || { say "the copy failed"; return 1; }
    case $probe in
    *"attributes: user"*) expect="user";;
    *) expect="none";;
    esac
    if [ $expect = user ]; then
        [ "$(getfattr --only-values -n user.origin "$dst/attr/attr.bin" 2>/dev/null)" = camera ] || { say "the user attribute was not kept"; return 1; }
    else
        [[ $said == *attributes* ]] || { say "the dropped attribute was not reported: $said"; return 1; }
    fi
    if [[ $probe == *", POSIX ACLs"* ]]; then
        getfacl -cpn "$dst/attr/attr.bin" 2>/dev/null | grep -q "^user:1:r" || { say "the ACL was not kept"; return 1; }
    else
        [[ $said == *acls* ]] || { say "the dropped ACL was not reported: $said"; return 1; }
    fi
}

scenario_clone() {
    # Within btrfs or xfs a copy shares the source's blocks.
    mkdir -p "$dst/cloned-src"
    head -c 4194304 /dev/urandom >"$dst/cloned-src/blob.bin"
    sync
    "$tool" watch "$work/clone.wth" "$dst/cloned-src" "$dst/cloned-dst"
    "$batch" --watch-file "$work/clone.wth" --log-file "$work/log.txt" 0 >/dev/null
    sync
    filefrag -v "$dst/cloned-dst/blob.bin" | grep -q shared || { say "the copy shares no extent with its source"; filefrag -v "$dst/cloned-dst/blob.bin" | tail -3; return 1; }
}

# run_scenario NAME: runs it, weighing the result against EXPECTED_TO_FAIL by the probe's line.
run_scenario() {
    local name=$1 reason="" key
    for key in "${!EXPECTED_TO_FAIL[@]}"; do
        [ "${key%%|*}" = "$name" ] && [[ $probe == *"${key#*|}"* ]] && reason=${EXPECTED_TO_FAIL[$key]}
    done
    local log="$work/scenario-$name.txt"
    if "scenario_$name" >"$log" 2>&1; then
        if [ -n "$reason" ]; then
            echo "  XPASS $fs $name (expected to fail: $reason; take it off EXPECTED_TO_FAIL)"
            xpassed=$((xpassed + 1))
        else
            echo "  ok    $fs $name"
            passed=$((passed + 1))
        fi
    elif [ -n "$reason" ]; then
        echo "  XFAIL $fs $name: $reason"
        xfailed=$((xfailed + 1))
    else
        echo "  FAIL  $fs $name"
        sed 's/^/        /' "$log"
        failed=$((failed + 1))
        failures+=("$fs $name")
    fi
}

# The probe's findings of each file system as measured when this matrix was written: a change shows.
declare -A EXPECTED_PROBE=(
    [ext4]="rename without replacing, hard links, unnamed temporaries, permission bits, owners, symbolic links, case-sensitive, times to 1 ns in UTC"
    [btrfs]="rename without replacing, hard links, unnamed temporaries, permission bits, owners, symbolic links, case-sensitive, times to 1 ns in UTC"
    [xfs]="rename without replacing, hard links, unnamed temporaries, permission bits, owners, symbolic links, case-sensitive, times to 1 ns in UTC"
    [tmpfs]="rename without replacing, hard links, unnamed temporaries, permission bits, owners, symbolic links, case-sensitive, times to 1 ns in UTC"
    [exfat-fuse]="no rename without replacing, no hard links, no unnamed temporaries, no permission bits, no owners, no symbolic links, case-insensitive, case kept, times to 1000000000 ns in local time"
    [ntfs-3g]="no rename without replacing, hard links, no unnamed temporaries, no permission bits, no owners, symbolic links, case-sensitive, times to 100 ns in UTC"
    [sshfs]="no rename without replacing, no hard links, no unnamed temporaries, permission bits, owners, symbolic links, case-sensitive, times to 1000000000 ns in UTC"
)

for fs in "${wanted[@]}"; do
    point="$scratch/mnt-$fs"
    if ! mount_fs "$fs" "$point"; then
        echo "  skip  $fs: $why"
        skipped=$((skipped + 1))
        continue
    fi
    work="$scratch/work-$fs"
    dst="$point/tessel"
    mkdir -p "$work/src" "$work/outbox" "$dst"
    wth="$work/watches.wth"
    "$tool" watch "$wth" "$work/src" "$dst/one" delete &&
        "$tool" watch "$wth" "$work/outbox" "$dst/moved" move &&
        "$tool" watch "$wth" "$work/two" "$dst/two" both delete &&
        "$tool" watch "$wth" "$work/cases" "$dst/cases" &&
        "$tool" watch "$wth" "$work/twocase" "$dst/twocase" both delete &&
        "$tool" watch "$wth" "$work/names" "$dst/names" || { echo "cannot write the watches" >&2; exit 1; }
    mkdir -p "$work/two" "$work/cases" "$work/twocase" "$work/names" "$work/links"
    (cd "$work" && "$batch" --watch-file "$wth" add links --source "$work/links" --destination "$dst/links" \
        --links copy --wide-log yes >/dev/null) || { echo "cannot add the watch of links" >&2; exit 1; }
    "$tool" watch "$wth" "$work/twonames" "$dst/twonames" both || { echo "cannot write the watches" >&2; exit 1; }
    probe=$("$tool" probe "$dst")
    echo "== $fs: $probe"
    if [ -n "${EXPECTED_PROBE[$fs]:-}" ] && [[ $probe != "${EXPECTED_PROBE[$fs]}"* ]]; then
        echo "  FAIL  $fs probe: expected ${EXPECTED_PROBE[$fs]}"
        failed=$((failed + 1))
        failures+=("$fs probe")
    fi
    scenarios=(first_second edits_and_versions delete_absent move two_way case_clash two_way_case refused_name two_way_names links attributes)
    case $fs in btrfs | xfs) scenarios+=(clone) ;; exfat-fuse) scenarios+=(zone_change) ;; esac
    for scenario in "${scenarios[@]}"; do run_scenario "$scenario"; done
    [ -n "$(find "$dst" -name '.tessel-*.tmp' -o -name '.tessel-*.probe')" ] && {
        echo "  FAIL  $fs: a temporary or probe folder was left behind"
        failed=$((failed + 1))
        failures+=("$fs leftovers")
    }
done

echo "file-system matrix: $passed passed, $failed failed, $skipped skipped, $xfailed expected to fail, $xpassed passed although expected to fail"
[ "$failed" -eq 0 ] || { printf '  failed: %s\n' "${failures[@]}"; exit 1; }
