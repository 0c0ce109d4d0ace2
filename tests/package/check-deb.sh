#!/usr/bin/env bash
# Builds the Debian package of the programs of a build folder and checks it with lintian;
# installs it, starts the installed program as an operator in the group dialout and as a
# user outside it, removes and purges the package, and checks that the program folder
# /var/lib/kovrin outlives both. Needs root (it installs a package and makes throw-away
# users); cleans up after itself: the package purged, the users deleted, and /var/lib/kovrin
# removed when it made it.
set -euo pipefail
build_dir=$1
folder=/var/lib/kovrin
marker=.made-by-the-package-test

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing the Debian package needs root"
    exit 77
fi
if [ -d "$folder" ] && [ ! -e "$folder/$marker" ]; then
    echo "SKIPPED: $folder exists and holds an installed program's data: left alone"
    exit 77
fi
for tool in dpkg-shlibdeps file lintian setpriv useradd; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/deps installs it)"; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"
suffix=$$
operator=kvop$suffix
colleague=kvco$suffix
outsider=kvout$suffix
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    dpkg --purge kovrin >/dev/null 2>&1 || true
    for u in "$operator" "$colleague" "$outsider"; do userdel "$u" 2>/dev/null || true; done
    if [ -e "$folder/$marker" ]; then rm -rf "$folder"; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

# A folder left by an earlier run of this test, and an earlier install, go first.
dpkg --purge kovrin >/dev/null 2>&1 || true
rm -rf "$folder"

cd "$build_dir"
cpack -G DEB -B "$work/cpack" >"$work/cpack.txt" 2>&1 || { cat "$work/cpack.txt"; exit 1; }
package=$(ls "$work"/cpack/kovrin_*_amd64.deb)
version=$(dpkg-deb --field "$package" Version)
lintian --fail-on error,warning "$package" >"$work/lintian.txt" 2>&1 || {
    cat "$work/lintian.txt"; fail "lintian finds errors or warnings in the package"; }

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$package" >"$work/install.txt" 2>&1 ||
    { cat "$work/install.txt"; exit 1; }
touch "$folder/$marker"
[ "$(stat -c '%a %U %G' "$folder")" = "2775 root dialout" ] ||
    fail "$folder is $(stat -c '%a %U %G' "$folder"), not 2775 root dialout"
for f in /usr/lib/kovrin/kovrin /usr/lib/kovrin/kovrin-2.0 /usr/lib/kovrin/hht-sim \
         /usr/share/applications/kovrin.desktop /usr/share/applications/kovrin-2.0.desktop \
         /usr/share/icons/hicolor/scalable/apps/kovrin.svg /usr/share/man/man1/kovrin.1.gz \
         /usr/share/man/man1/kovrin-2.0.1.gz /usr/share/man/man1/hht-sim.1.gz \
         /usr/share/doc/kovrin/copyright /usr/share/doc/kovrin/README.md \
         /usr/share/doc/kovrin/hht-sim/README.md "$folder/ports" "$folder/BackupData"; do
    [ -e "$f" ] || fail "not installed: $f"
done

# The command line.
[ "$(kovrin --version)" = "kovrin (Kovrin Hand-Held Interface Software) $version" ] ||
    fail "kovrin --version: $(kovrin --version)"
[ "$(kovrin-2.0 --version)" = "kovrin-2.0 (Kovrin Hand-Held Interface Software) 2.0" ] ||
    fail "kovrin-2.0 --version: $(kovrin-2.0 --version)"
kovrin --help | grep -q -- "--folder DIR" || fail "kovrin --help does not show --folder"
hht-sim --help >/dev/null
status=0
kovrin --frobnicate 2>"$work/usage.txt" || status=$?
if [ "$status" -ne 2 ] || ! grep -q 'unknown option "--frobnicate"' "$work/usage.txt"; then
    fail "a wrong option: status $status, $(cat "$work/usage.txt")"
fi
touch "$work/file"
status=0
KOVRIN_PRINT_MESSAGES=1 QT_QPA_PLATFORM=offscreen kovrin --folder "$work/file/kovrin" 2>"$work/folder.txt" >/dev/null || status=$?
if [ "$status" -ne 1 ] || ! grep -q "The program folder $work/file/kovrin cannot be created: Not a directory." \
        "$work/folder.txt"; then
    fail "a folder that cannot be made: status $status, $(cat "$work/folder.txt")"
fi

useradd --home-dir "$work/home-$operator" --groups dialout "$operator"
useradd --home-dir "$work/home-$colleague" --groups dialout "$colleague"
useradd --home-dir "$work/home-$outsider" "$outsider"
for u in "$operator" "$colleague" "$outsider"; do
    install -d -o "$u" -m 700 "$work/home-$u"
done

# Runs the installed program as user $1 from the menu's command, output into $2, in the
# background; its pid is in $pid.
start_as() {
    (cd / && exec setpriv --reuid="$1" --regid="$1" --init-groups \
        env HOME="$work/home-$1" QT_QPA_PLATFORM=offscreen kovrin) >"$2" 2>&1 &
    pid=$!
    pids+=("$pid")
}
stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
wait_for() {  # a file and a text in it
    for _ in $(seq 1 300); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# An operator in dialout: the first start makes the database in the shared folder.
start_as "$operator" "$work/operator.txt"
wait_for "$folder/operator.log" "Please Select CommPort and BankName" || {
    cat "$work/operator.txt"; fail "the first start did not ask for the settings"; }
stop "$pid"
[ -f "$folder/HandHeldData.mdb" ] || fail "no database in $folder"
for f in HandHeldData.mdb operator.log; do
    [ "$(stat -c '%U %G' "$folder/$f")" = "$operator dialout" ] ||
        fail "$f belongs to $(stat -c '%U %G' "$folder/$f")"
    [ "$(stat -c '%a' "$folder/$f")" = 664 ] || fail "$f has mode $(stat -c '%a' "$folder/$f")"
done
# The day's copy is made once the main menu is shown: a start whose messages are answered.
(cd / && exec setpriv --reuid="$operator" --regid="$operator" --init-groups \
    env HOME="$work/home-$operator" QT_QPA_PLATFORM=offscreen KOVRIN_PRINT_MESSAGES=1 kovrin) \
    >"$work/operator2.txt" 2>&1 &
pid=$!
pids+=("$pid")
for _ in $(seq 1 300); do
    ls "$folder"/BackupData/HandHeldData-*.mdb >/dev/null 2>&1 && break
    sleep 0.1
done
stop "$pid"
ls "$folder"/BackupData/HandHeldData-*.mdb >/dev/null || {
    cat "$work/operator2.txt"; fail "no daily copy in BackupData"; }
! grep -q usermod "$folder/operator.log" || fail "an operator in dialout was told to join it"
# Every operator of the PC works on the same files.
for f in HandHeldData.mdb operator.log BackupData ports; do
    setpriv --reuid="$colleague" --regid="$colleague" --init-groups test -w "$folder/$f" ||
        fail "another operator in dialout cannot write $folder/$f"
done

# A user outside dialout is told what to do, and the folder's problem is named.
start_as "$outsider" "$work/outsider.txt"
wait_for "$work/outsider.txt" "sudo usermod -aG dialout $outsider" || {
    cat "$work/outsider.txt"; fail "a user outside dialout was not told how to join it"; }
stop "$pid"
grep -q "The program folder $folder is read-only (Permission denied)." "$work/outsider.txt" ||
    fail "the folder's problem was not named: $(cat "$work/outsider.txt")"

# Removing and purging keep the program folder, and say so.
dpkg --remove kovrin >"$work/remove.txt" 2>&1 || { cat "$work/remove.txt"; exit 1; }
grep -q "the program folder $folder (database, logs, backups) is kept" "$work/remove.txt" ||
    fail "the removal did not tell that the folder is kept: $(cat "$work/remove.txt")"
[ -f "$folder/HandHeldData.mdb" ] || fail "removing the package deleted the database"
[ ! -e /usr/bin/kovrin ] || fail "/usr/bin/kovrin is still there after the removal"
dpkg --purge kovrin >"$work/purge.txt" 2>&1 || { cat "$work/purge.txt"; exit 1; }
[ -f "$folder/HandHeldData.mdb" ] || fail "purging the package deleted the database"
echo "deb ok: $(basename "$package")"
