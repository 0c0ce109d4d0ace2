#!/usr/bin/env bash
# The layers of src/, bottom up: core; link and db (each on core only); the subsystems'
# logic (download, upload, security, reports, station) without widgets; ui and the subsystems'
# screens (Frm*); app, the composition root, which alone may include everything. No include
# runs back up. Prints each include that breaks the rule and fails when there is one.
set -u
src="${1:?the src folder}"
status=0

# The project includes of a file, one per line ("db/Database.h").
includes() { sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$1"; }

# check <file> <allowed-regex> <why> [forbidden-regex]
check() {
    local file="$1" allowed="$2" why="$3" forbidden="${4:-^$}" inc
    while IFS= read -r inc; do
        [ -z "$inc" ] && continue
        case "$inc" in */*) ;; *) continue ;; esac  # a header of the file's own folder
        if ! [[ "$inc" =~ $allowed ]] || [[ "$inc" =~ $forbidden ]]; then
            echo "${file#"$src"/}: includes \"$inc\" ($why)"
            status=1
        fi
    done < <(includes "$file")
}

subsystems='download|upload|security|reports|station'
for f in $(find "$src" -name '*.h' -o -name '*.cpp' | sort); do
    rel="${f#"$src"/}"
    base="$(basename "$f")"
    case "$rel" in
        core/*) check "$f" '^core/' "core stands on nothing of the program's" ;;
        link/*) check "$f" '^(core|link)/' "link stands on core only" ;;
        db/*) check "$f" '^(core|db)/' "db stands on core only" ;;
        ui/*) check "$f" '^(core|link|db|ui)/' "ui is below the subsystems' screens and app" ;;
        download/* | upload/* | security/* | reports/* | station/*)
            if [[ "$base" == Frm* ]]; then
                check "$f" "^(core|link|db|ui|$subsystems)/" \
                    "a subsystem's screen never includes app"
            else
                check "$f" "^(core|link|db|$subsystems)/" \
                    "a subsystem's logic includes no screen, ui or app" '/Frm'
            fi
            ;;
        app/* | main.cpp) ;;
        *)
            echo "$rel: a file outside the known layers"
            status=1
            ;;
    esac
done
[ "$status" -eq 0 ] && echo "every include of $src follows the layers"
exit "$status"
