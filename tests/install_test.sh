#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what arrived: every program in bin/,
# the model test files in the data folder, and for each windowed program a desktop entry that
# desktop-file-validate accepts, whose command is installed and whose icon is there in every
# size. Arguments: build folder, programs, windowed programs, icon sizes (lists with blanks).
set -euo pipefail
build=$1 programs=$2 windowed=$3 sizes=$4
source_dir=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null

for program in $programs; do
    [ -x "$prefix/bin/$program" ] || fail "$program is not in bin/"
done
for model in "$source_dir"/resources/models/*.txt; do
    [ -f "$prefix/share/quillon/$(basename "$model")" ] || fail "$(basename "$model") is not in share/quillon/"
done

for program in $windowed; do
    entry=$prefix/share/applications/$program.desktop
    [ -f "$entry" ] || fail "$program has no desktop entry"
    # Hints and warnings count too.
    report=$(desktop-file-validate "$entry" 2>&1) || fail "$entry: $report"
    [ -z "$report" ] || fail "$entry: $report"
    command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$prefix/bin/$command" ] || fail "$entry starts $command, which is not in bin/"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in $sizes; do
        png=$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png
        [ -f "$png" ] || fail "no $size x $size icon $icon"
        # The width and height in the PNG header, bytes 16 to 23.
        read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
        [ "$width $height" = "$size $size" ] || fail "$png is $width x $height"
    done
done

# The installed program answers from where it was installed.
[ "$("$prefix/bin/quillon" --version)" = "quillon 6.4" ] || fail "the installed quillon does not run"
echo "installed: $programs; desktop entries: $windowed"
