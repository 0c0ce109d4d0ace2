#!/usr/bin/env bash
# Builds the portable package, unpacks it into a temporary folder and starts the program
# from there (offscreen): it must run and create its database beside itself.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'kill -9 "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

cd "$build_dir"
cpack -G TGZ -B "$work/cpack" >/dev/null
package=$(ls "$work"/cpack/kovrin-*.tar.gz)
tar -xzf "$package" -C "$work"
folder=$(ls -d "$work"/kovrin-*/ | head -n 1)

for f in kovrin kovrin-2.0 hht-sim README.txt kovrin.desktop kovrin.svg ports/README.txt \
         examples/0050712d.txt examples/day-0050712.txt; do
    [ -e "$folder/$f" ] || { echo "missing in the package: $f"; exit 1; }
done
[ -z "$(ls "$folder/ports" | grep -v README.txt)" ] || { echo "ports/ is not empty"; exit 1; }
"$folder/hht-sim" --help >/dev/null

# Started from elsewhere, the program still keeps its files in its own folder.
cd "$work"
QT_QPA_PLATFORM=offscreen "$folder/kovrin" >"$work/out.txt" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
    [ -s "$folder/operator.log" ] && break
    sleep 0.1
done
[ -f "$folder/HandHeldData.mdb" ] || { echo "no HandHeldData.mdb beside the program"; cat "$work/out.txt"; exit 1; }
grep -q "Please Select CommPort and BankName" "$folder/operator.log" || {
    echo "the first start did not ask for the settings"; cat "$folder/operator.log"; exit 1; }
kill -0 "$pid" || { echo "the program ended"; exit 1; }
echo "package ok: $(basename "$package")"
