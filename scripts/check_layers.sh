#!/bin/sh
# Fails when a folder includes a folder above it. Layers, lowest first:
#   protocol < utils < config < logic < platform < ui < app
# protocol/ is header-only and shared with the back-end; the back-end may include it and its own
# files only. tools/, bench/ and tests/ sit on top and are not checked.
set -eu
root=${1:-$(dirname "$0")/..}
cd "$root"

allowed() {
    case $1 in
        protocol) echo "protocol" ;;
        utils) echo "protocol utils" ;;
        config) echo "protocol utils config" ;;
        logic) echo "protocol utils config logic" ;;
        platform) echo "protocol utils config logic platform" ;;
        ui) echo "protocol utils config logic platform ui" ;;
        app) echo "protocol utils config logic platform ui app" ;;
        backend) echo "protocol backend" ;;
    esac
}

# Folders an include may name at all; anything else (a system or generated header) is not ours.
project="protocol utils config logic platform ui app backend tools tests"
failed=0
for layer in protocol utils config logic platform ui app backend; do
    [ -d "$layer" ] || { echo "check_layers: folder $layer is missing" >&2; exit 1; }
    ok=$(allowed "$layer")
    # file:line:#include "top/..."
    found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$layer" \
                --include='*.h' --include='*.hpp' --include='*.cpp' || true)
    [ -n "$found" ] || continue
    printf '%s\n' "$found" | while IFS= read -r line; do
        top=$(printf '%s\n' "$line" | sed -E 's/^[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"/]+)\/.*/\1/')
        case " $project " in *" $top "*) ;; *) continue ;; esac
        case " $ok " in
            *" $top "*) ;;
            *) echo "layer violation: $line ($layer may not include $top/)" ;;
        esac
    done
done >"${TMPDIR:-/tmp}/check_layers.$$"
if [ -s "${TMPDIR:-/tmp}/check_layers.$$" ]; then
    cat "${TMPDIR:-/tmp}/check_layers.$$" >&2
    failed=1
fi
rm -f "${TMPDIR:-/tmp}/check_layers.$$"
[ "$failed" -eq 0 ] && echo "check_layers: no folder includes one above it"
exit "$failed"
