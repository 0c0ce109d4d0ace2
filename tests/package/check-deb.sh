#!/usr/bin/env bash
# The Debian packages exactly as branches get them: built by scripts/package (the Release
# dpkg-buildpackage build with Debian's hardening flags), linted, checked for hardening, then
# installed on this machine over a package of the earlier layout and tried as the operators of
# a branch PC would use it, and as a careless or hostile account would:
#   - the folders and files are the group kovrin's and closed to others; an account outside
#     the group reads nothing;
#   - a link one operator plants in place of each file the program writes, pointing at a file
#     of another operator, leaves that file as it was when the other's program runs, and the
#     refusal is told;
#   - root is refused; an install with a folder replaced by a link leaves its target alone;
#   - logrotate's rules; a newer build upgrades; removal and purge keep the data; kovrin-sim
#     installs on its own.
# Needs root (it installs packages and makes throw-away users and a group); cleans up after
# itself. Skipped (77) when not root or when the machine holds an installed program's data.
set -euo pipefail
source_dir=$(realpath "$1")
data=/var/lib/kovrin
logs=/var/log/kovrin
marker=.made-by-the-package-test

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing the Debian packages needs root"
    exit 77
fi
for folder in "$data" "$logs"; do
    if [ -d "$folder" ] && [ ! -e "$data/$marker" ]; then
        echo "SKIPPED: $folder exists and holds an installed program's data: left alone"
        exit 77
    fi
done
for tool in dpkg-buildpackage lintian readelf setpriv useradd logrotate desktop-file-validate \
            appstreamcli systemd-tmpfiles; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/deps installs it)"; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"
suffix=$$
operator=kvop$suffix
colleague=kvco$suffix
outsider=kvout$suffix
made_group=no
getent group kovrin >/dev/null || made_group=yes
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    dpkg --purge kovrin kovrin-sim >/dev/null 2>&1 || true
    for u in "$operator" "$colleague" "$outsider"; do userdel "$u" 2>/dev/null || true; done
    if [ -e "$data/$marker" ]; then rm -rf "$data" "$logs"; fi
    if [ "$made_group" = yes ]; then groupdel kovrin 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
mode_of() { stat -c '%a %U %G' "$1"; }

dpkg --purge kovrin kovrin-sim >/dev/null 2>&1 || true
rm -rf "$data" "$logs"

# --- The packages as branches get them -----------------------------------------------------
# KOVRIN_PREBUILT_DEBS names a folder of packages scripts/package made already (to try this
# script again without a build); the test command always builds them.
mkdir -p "$work/debs"
if [ -n "${KOVRIN_PREBUILT_DEBS:-}" ]; then
    cp "$KOVRIN_PREBUILT_DEBS"/*.deb "$work/debs/"
    version=$(dpkg-deb --field "$(ls "$work"/debs/kovrin_*_amd64.deb | head -n 1)" Version)
else
    "$source_dir/scripts/package" "$work/debs" >"$work/package.txt" 2>&1 || {
        cat "$work/package.txt"; fail "scripts/package"; }
    version=$("$source_dir/scripts/package-version")
fi
package=$work/debs/kovrin_${version}_amd64.deb
sim=$work/debs/kovrin-sim_${version}_amd64.deb
[ -f "$package" ] && [ -f "$sim" ] || { ls -l "$work/debs"; fail "no packages of $version"; }
ls "$work"/debs/kovrin-dbgsym_"$version"_amd64.*deb >/dev/null ||
    fail "no kovrin-dbgsym package: the programs were not built with debugging symbols"
[ "$(dpkg-deb --field "$package" Section)" = comm ] || fail "Section is not comm"
dpkg-deb --field "$package" Depends | grep -q "kovrin-sim" && fail "kovrin depends on kovrin-sim"
dpkg-deb --field "$package" Suggests | grep -q "kovrin-sim" || fail "kovrin does not suggest kovrin-sim"
dpkg-deb --contents "$package" | grep -q "hht-sim$" && fail "kovrin carries the simulator"

lintian --fail-on error,warning "$package" "$sim" >"$work/lintian.txt" 2>&1 || {
    cat "$work/lintian.txt"; fail "lintian finds errors or warnings"; }
echo "lintian: $(grep -c . "$work/lintian.txt" || true) line(s)"
cat "$work/lintian.txt"

# Every program: position independent, stack protector, fortified, full RELRO, bind now, no
# debugging symbols left (they are in -dbgsym).
mkdir -p "$work/x"
dpkg-deb -x "$package" "$work/x"
dpkg-deb -x "$sim" "$work/x"
for elf in "$work"/x/usr/lib/kovrin/kovrin "$work"/x/usr/lib/kovrin/kovrin-2.0 \
           "$work"/x/usr/bin/hht-sim; do
    name=$(basename "$elf")
    readelf -hW "$elf" | grep -q "Type:.*DYN" || fail "$name is not position independent"
    readelf -lW "$elf" | grep -q GNU_RELRO || fail "$name has no RELRO"
    readelf -dW "$elf" | grep -Eq "BIND_NOW|FLAGS_1.*NOW" || fail "$name is not bound now"
    syms=$(readelf --dyn-syms -W "$elf")
    grep -q "__stack_chk_fail" <<<"$syms" || fail "$name has no stack protector"
    fortified=$( (grep -Eo "__[a-z0-9_]+_chk@" <<<"$syms" || true) | (grep -v __stack_chk || true) |
                tr -d @ | sort -u | tr '\n' ' ')
    readelf -SW "$elf" | grep -q "\.debug_info" && fail "$name still carries debugging symbols"
    echo "hardening: $name: PIE, stack protector, full RELRO, bind now; checked forms: ${fortified:-none}"
done
# Fortification works at compile time: every C++ file of the programs was compiled with it.
# (A call whose buffer size the compiler cannot see, such as the memcpy of inlined library
# code, keeps its plain form; readelf lists the checked forms that were used above.)
if [ -z "${KOVRIN_PREBUILT_DEBS:-}" ]; then
    compiled=$(grep -c -- " -c .*\.cpp$" "$source_dir/build/debian/build.log" || true)
    fortify=$(grep -- " -c .*\.cpp$" "$source_dir/build/debian/build.log" |
              grep -c -- "-D_FORTIFY_SOURCE=2.* -fstack-protector-strong\|-fstack-protector-strong.*-D_FORTIFY_SOURCE=2" || true)
    [ "$compiled" -gt 0 ] && [ "$compiled" = "$fortify" ] ||
        fail "$fortify of $compiled C++ files compiled with _FORTIFY_SOURCE and the stack protector"
    echo "hardening: all $compiled C++ files compiled with -D_FORTIFY_SOURCE=2 -fstack-protector-strong"
fi
for desktop in "$work"/x/usr/share/applications/*.desktop; do
    desktop-file-validate "$desktop" || fail "desktop-file-validate $(basename "$desktop")"
done
appstreamcli validate --no-net "$work"/x/usr/share/metainfo/*.xml || fail "appstreamcli validate"
for size in 48 64 128 256; do
    [ -f "$work/x/usr/share/icons/hicolor/${size}x$size/apps/kovrin.png" ] || fail "no $size icon"
done
[ -f "$work/x/usr/share/doc/kovrin/operator-guide.md" ] || fail "no operator's guide"
[ ! -e "$work/x/usr/share/doc/kovrin/README.md" ] || fail "the developer README is installed"
! grep -q "](docs/" "$work/x/usr/share/doc/kovrin/operator-guide.md" ||
    fail "the operator's guide links images that are not installed"

# --- Today's layout, as the earlier package left it ------------------------------------------
# The group dialout, 2775 folders, 0664 files; an operator's link to a root-owned file in it.
mkdir -p "$work/old/DEBIAN" "$work/old/usr/share/doc/kovrin"
cat >"$work/old/DEBIAN/control" <<EOF
Package: kovrin
Version: 2.1
Architecture: amd64
Maintainer: Kovrin maintainers <maintainers@users.noreply.c-seed-abd886d5.example>
Section: misc
Priority: optional
Description: the earlier layout of the program folder
 A stand-in for the package of revision 2.1 before its own group.
EOF
cat >"$work/old/DEBIAN/postinst" <<'EOF'
#!/bin/sh
set -e
if [ "$1" = "configure" ]; then
    for folder in /var/lib/kovrin /var/lib/kovrin/BackupData /var/lib/kovrin/DownLoadData \
                  /var/lib/kovrin/ports; do
        if [ ! -d "$folder" ]; then
            mkdir "$folder"
            chown root:dialout "$folder"
            chmod 2775 "$folder"
        fi
    done
fi
exit 0
EOF
chmod 755 "$work/old/DEBIAN/postinst"
dpkg-deb --root-owner-group -b "$work/old" "$work/kovrin_2.1_amd64.deb" >/dev/null
dpkg -i "$work/kovrin_2.1_amd64.deb" >/dev/null
touch "$data/$marker"
useradd --home-dir "$work/home-$operator" --groups dialout "$operator"
useradd --home-dir "$work/home-$colleague" --groups dialout "$colleague"
useradd --home-dir "$work/home-$outsider" "$outsider"
for u in "$operator" "$colleague" "$outsider"; do
    install -d -o "$u" -m 700 "$work/home-$u"
done
install -o "$operator" -g dialout -m 664 /dev/null "$data/HandHeldData.mdb.old"
install -o "$operator" -g dialout -m 664 /dev/null "$data/BackupData/005_07_12_26.txt"
install -o root -g root -m 644 /dev/null "$work/root-file"
install -d -o root -g root -m 755 "$work/root-folder"
ln -s "$work/root-file" "$data/BackupData/planted"
chown -h "$colleague" "$data/BackupData/planted"
# A subfolder an operator replaced by a link to a root-owned folder before the install.
rm -r "$data/DownLoadData"
ln -s "$work/root-folder" "$data/DownLoadData"

# --- The upgrade -----------------------------------------------------------------------------
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$package" >"$work/install.txt" 2>&1 ||
    { cat "$work/install.txt"; fail "apt install"; }
getent group kovrin >/dev/null || fail "the package made no group kovrin"
for folder in "$data" "$data/BackupData" "$data/ports" "$logs"; do
    [ "$(mode_of "$folder")" = "2770 root kovrin" ] ||
        fail "$folder is $(mode_of "$folder"), not 2770 root kovrin"
done
for f in "$data/HandHeldData.mdb.old" "$data/BackupData/005_07_12_26.txt"; do
    [ "$(mode_of "$f")" = "660 $operator kovrin" ] || fail "$f is $(mode_of "$f") after the upgrade"
done
[ "$(mode_of "$work/root-file")" = "644 root root" ] || fail "the upgrade followed a link to a file"
[ "$(mode_of "$work/root-folder")" = "755 root root" ] ||
    fail "the upgrade followed a link to a folder: $(mode_of "$work/root-folder")"
DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall -o DPkg::Lock::Timeout=300 \
    "$package" >"$work/reinstall.txt" 2>&1 || { cat "$work/reinstall.txt"; fail "reinstall"; }
[ "$(mode_of "$work/root-folder")" = "755 root root" ] || fail "the reinstall followed a link"
rm "$data/DownLoadData" "$data/BackupData/planted" "$data/HandHeldData.mdb.old" \
   "$data/BackupData/005_07_12_26.txt"
systemd-tmpfiles --create kovrin.conf
[ "$(mode_of "$data/DownLoadData")" = "2770 root kovrin" ] || fail "DownLoadData not made again"
[ ! -e /usr/bin/hht-sim ] || fail "the simulator came with kovrin"

# --- The command line ------------------------------------------------------------------------
[ "$(kovrin --version)" = "kovrin (Kovrin Hand-Held Interface Software) $version" ] ||
    fail "kovrin --version: $(kovrin --version)"
[ "$(kovrin-2.0 --version)" = "kovrin-2.0 (Kovrin Hand-Held Interface Software) 2.0" ] ||
    fail "kovrin-2.0 --version: $(kovrin-2.0 --version)"
kovrin --help | grep -q -- "--log-folder DIR" || fail "kovrin --help does not show --log-folder"
status=0
kovrin --frobnicate 2>"$work/usage.txt" || status=$?
[ "$status" -eq 2 ] && grep -q 'unknown option "--frobnicate"' "$work/usage.txt" ||
    fail "a wrong option: status $status, $(cat "$work/usage.txt")"
touch "$work/file"
status=0
KOVRIN_PRINT_MESSAGES=1 QT_QPA_PLATFORM=offscreen /usr/lib/kovrin/kovrin \
    --folder "$work/file/kovrin" >/dev/null 2>"$work/folder.txt" || status=$?
[ "$status" -eq 1 ] && grep -q "The program folder $work/file/kovrin cannot be created: Not a directory." \
    "$work/folder.txt" || fail "a folder that cannot be made: status $status, $(cat "$work/folder.txt")"

# Root is refused on the shared folders, before anything is made there.
before=$(find "$data" "$logs" -printf '%p %u %m\n' | sort)
status=0
(cd / && KOVRIN_PRINT_MESSAGES=1 QT_QPA_PLATFORM=offscreen timeout 60 kovrin) \
    >"$work/root.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "root: status $status, $(cat "$work/root.txt")"
grep -q "The program must be run by an operator, not by root: the folder $data is shared by the operators of this PC through the group kovrin" \
    "$work/root.txt" || fail "root was not refused: $(cat "$work/root.txt")"
grep -q "sudo usermod -aG kovrin,dialout <user>" "$work/root.txt" || fail "root: no groups named"
[ "$(find "$data" "$logs" -printf '%p %u %m\n' | sort)" = "$before" ] ||
    fail "root's refused start changed the shared folders"

# --- The operators ---------------------------------------------------------------------------
for u in "$operator" "$colleague"; do usermod -aG kovrin "$u"; done

# Runs the installed program as user $1 from the menu's command, its output into $2, in the
# background (pid in $pid), messages printed and answered at once.
start_as() {
    (cd / && exec setpriv --reuid="$1" --regid="$1" --init-groups \
        env HOME="$work/home-$1" QT_QPA_PLATFORM=offscreen KOVRIN_PRINT_MESSAGES=1 kovrin) \
        >"$2" 2>&1 &
    pid=$!
    pids+=("$pid")
}
stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
wait_for() {  # a file and a text in it
    for _ in $(seq 1 300); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
as() { local u=$1; shift; setpriv --reuid="$u" --regid="$u" --init-groups "$@"; }

start_as "$operator" "$work/operator.txt"
wait_for "$logs/operator.log" "Please Select CommPort and BankName" || {
    cat "$work/operator.txt"; fail "the first start did not ask for the settings"; }
for _ in $(seq 1 300); do
    ls "$data"/BackupData/HandHeldData-*.mdb >/dev/null 2>&1 && break
    sleep 0.1
done
stop "$pid"
copy=$(ls "$data"/BackupData/HandHeldData-*.mdb) || { cat "$work/operator.txt"; fail "no daily copy"; }
for f in "$data/HandHeldData.mdb" "$logs/operator.log" "$copy"; do
    [ "$(mode_of "$f")" = "660 $operator kovrin" ] || fail "$f is $(mode_of "$f"), not 660 $operator kovrin"
done
! grep -q usermod "$logs/operator.log" || fail "an operator in both groups was told to join them"
for f in "$data/HandHeldData.mdb" "$logs/operator.log" "$data/BackupData" "$data/ports"; do
    as "$colleague" test -w "$f" || fail "another operator cannot write $f"
done
# Outside the group, nothing can be read.
for f in "$data" "$data/HandHeldData.mdb" "$data/BackupData" "$copy" "$logs" "$logs/operator.log"; do
    ! as "$outsider" test -r "$f" || fail "an account outside the group can read $f"
done
! as "$outsider" ls "$data" >/dev/null 2>&1 || fail "an account outside the group lists $data"

# An account outside the groups is told, in one message, the command for both.
start_as "$outsider" "$work/outsider.txt"
wait_for "$work/outsider.txt" "sudo usermod -aG kovrin,dialout $outsider" || {
    cat "$work/outsider.txt"; fail "a user outside the groups was not told how to join them"; }
stop "$pid"

# A link the colleague plants in place of each file the program writes there, pointing at a
# file of the operator: the operator's program writes nothing through it and tells why.
printf 'the operator'"'"'s own file\n' >"$work/home-$operator/own.txt"
chown "$operator" "$work/home-$operator/own.txt"
chmod 600 "$work/home-$operator/own.txt"
chmod 755 "$work/home-$operator"  # the link's target is reachable: only the refusal stops it
today=$(date +%F)
plant() {  # a file of the shared folders, replaced by the colleague's link
    as "$colleague" mv "$1" "$1.saved" 2>/dev/null || true
    as "$colleague" ln -s "$work/home-$operator/own.txt" "$1"
}
unplant() {
    as "$colleague" rm -f "$1"
    if [ -e "$1.saved" ]; then as "$colleague" mv "$1.saved" "$1"; fi
}
for file in "$data/HandHeldData.mdb" "$data/HandHeldData.mdb-wal" "$data/HandHeldData.mdb-shm" \
            "$data/kovrin.lock" \
            "$data/BackupData/HandHeldData-$today.mdb" "$logs/operator.log"; do
    plant "$file"
    start_as "$operator" "$work/attack.txt"
    wait_for "$work/attack.txt" "$file is a symbolic link, and the program never writes through a link" || {
        cat "$work/attack.txt"; fail "the link $file was not refused"; }
    sleep 0.5
    stop "$pid"
    [ "$(cat "$work/home-$operator/own.txt")" = "the operator's own file" ] ||
        fail "the link $file made the program write the operator's file"
    if [ "$file" != "$logs/operator.log" ]; then
        grep -qF "$file is a symbolic link" "$logs/operator.log" ||
            fail "the refusal of $file is not in the operator log"
    fi
    unplant "$file"
done
[ "$(stat -c %a "$work/home-$operator/own.txt")" = 600 ] || fail "the operator's file changed mode"

# --- Log rotation ----------------------------------------------------------------------------
as "$operator" sh -c "echo frames >'$logs/transfer-2026-01-01.log'"
touch -d '2 days ago' "$logs/transfer-2026-01-01.log"
as "$operator" sh -c "echo frames >'$logs/transfer-$today.log'"
as "$operator" sh -c "echo old | gzip >'$logs/transfer-2025-01-01.log.1.gz'"
touch -d '100 days ago' "$logs/transfer-2025-01-01.log.1.gz"
cat >"$work/logrotate.state" <<EOF
logrotate state -- version 2
"$logs/operator.log" 2000-1-1-0:0:0
"$logs/transfer-2026-01-01.log" 2000-1-1-0:0:0
"$logs/transfer-$today.log" 2000-1-1-0:0:0
EOF
chmod 600 "$work/logrotate.state"
logrotate -s "$work/logrotate.state" /etc/logrotate.d/kovrin ||
    fail "logrotate refuses the package's rules"
[ -f "$logs/transfer-2026-01-01.log.1.gz" ] || fail "a day-old transfer log was not compressed"
[ -f "$logs/transfer-$today.log" ] || fail "today's transfer log was rotated while in use"
[ ! -e "$logs/transfer-2025-01-01.log.1.gz" ] || fail "a transfer log of 100 days ago is kept"
[ -f "$logs/operator.log.1" ] || fail "the operator log was not rotated"
[ "$(mode_of "$logs/operator.log")" = "660 root kovrin" ] ||
    fail "the new operator log is $(mode_of "$logs/operator.log")"

# --- A newer build upgrades ------------------------------------------------------------------
dpkg-deb -R "$package" "$work/newer"
sed -i "s/^Version: .*/Version: $version.1/" "$work/newer/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/newer" "$work/kovrin_newer_amd64.deb" >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=300 \
    "$work/kovrin_newer_amd64.deb" >"$work/newer.txt" 2>&1 || { cat "$work/newer.txt"; fail "upgrade"; }
[ "$(dpkg-query -W -f '${Version}' kovrin)" = "$version.1" ] || fail "a newer build did not upgrade"
if git -C "$source_dir" rev-parse -q --verify HEAD~1 >/dev/null 2>&1; then
    older=$(TZ=UTC git -C "$source_dir" log -1 --format=%cd --date=format-local:%Y%m%d.%H%M%S HEAD~1)
    dpkg --compare-versions "2.1.0+git$older.$(git -C "$source_dir" rev-parse --short=7 HEAD~1)" \
        lt "$version" || fail "the version of the commit before is not older than $version"
fi

# --- Removal keeps the data; the simulator on its own -----------------------------------------
dpkg --remove kovrin >"$work/remove.txt" 2>&1 || { cat "$work/remove.txt"; fail "remove"; }
grep -q "/var/lib/kovrin (database, backups) and the logs in" "$work/remove.txt" ||
    fail "the removal did not tell that the data is kept: $(cat "$work/remove.txt")"
dpkg --purge kovrin >/dev/null
[ -f "$data/HandHeldData.mdb" ] && [ -f "$logs/operator.log" ] || fail "purging deleted the data"
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$sim" >"$work/sim.txt" 2>&1 || { cat "$work/sim.txt"; fail "kovrin-sim"; }
hht-sim --help >/dev/null || fail "hht-sim --help"
! dpkg -s kovrin >/dev/null 2>&1 || fail "kovrin-sim brought kovrin with it"
echo "deb ok: $(basename "$package") $(basename "$sim")"
