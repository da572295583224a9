#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed copy from there: the
# version line, a console conversion (its decoder comes from the prefix), the same with a
# frame and with a watermark (the drawing module comes from the prefix), the desktop entry,
# the AppStream file, the manual, the manual page and the changelog, each naming the project's
# version. Usage: TEST BUILD_FOLDER PROJECT_VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/usr" >/dev/null

program="$prefix/usr/bin/kestrelix"
export XDG_RUNTIME_DIR="$prefix/run"
mkdir -p "$XDG_RUNTIME_DIR" "$prefix/out"
[ "$("$program" -v)" = "$version" ] || { echo "FAIL: version line"; exit 1; }

convert -size 30x20 gradient:white-navy -depth 8 -type TrueColor "$prefix/in.tif"
last=$("$program" -i "$prefix/in.tif" -o "$prefix/out" -d | tail -n 1)
[ "$last" = "Files converted: 1 of 1" ] || { echo "FAIL: installed copy did not convert: $last"; exit 1; }
differing=$(compare -metric AE "$prefix/in.tif" "$prefix/out/in.bmp" null: 2>&1 || true)
[ "$differing" = "0" ] || { echo "FAIL: $differing pixels differ"; exit 1; }

# Drawing: a 2-pixel red frame at full opacity, then a text watermark; both must mark pixels.
mkdir -p "$prefix/framed" "$prefix/marked"
last=$("$program" -i "$prefix/in.tif" -o "$prefix/framed" --fr-solid-left=2 --fr-solid-top=2 \
        --fr-solid-right=2 --fr-solid-bottom=2 --fr-solid-left-color=FF0000 \
        --fr-solid-top-color=FF0000 --fr-solid-right-color=FF0000 --fr-solid-bottom-color=FF0000 \
        --fr-solid-opacity=255 | tail -n 1)
[ "$last" = "Files converted: 1 of 1" ] || { echo "FAIL: installed copy did not draw a frame: $last"; exit 1; }
corner=$(convert "$prefix/framed/in.bmp" -format '%[pixel:p{0,0}]' info:)
[ "$corner" = "srgb(255,0,0)" ] || { echo "FAIL: the frame's corner is $corner"; exit 1; }
last=$("$program" -i "$prefix/in.tif" -o "$prefix/marked" --wm-text=Hi | tail -n 1)
[ "$last" = "Files converted: 1 of 1" ] || { echo "FAIL: installed copy did not draw a watermark: $last"; exit 1; }
differing=$(compare -metric AE "$prefix/in.tif" "$prefix/marked/in.bmp" null: 2>&1 || true)
[ "$differing" != "0" ] || { echo "FAIL: the watermark left the page unchanged"; exit 1; }

for file in share/applications/kestrelix.desktop share/metainfo/io.github.kestrelix.Kestrelix.metainfo.xml \
            share/man/man1/kestrelix.1.gz share/doc/kestrelix/index.html \
            share/icons/hicolor/scalable/apps/kestrelix.svg lib/kestrelix/kestrelix-decoder \
            lib/kestrelix/libkestrelix-drawing.so lib/kestrelix/libkestrelix-window.so; do
  [ -s "$prefix/usr/$file" ] || { echo "FAIL: $file was not installed"; exit 1; }
done
[ -x "$prefix/usr/share/kestrelix/convert-tree" ] || { echo "FAIL: the batch script was not installed"; exit 1; }
grep -qF "<release version=\"$version\"" "$prefix/usr/share/metainfo/io.github.kestrelix.Kestrelix.metainfo.xml" ||
  { echo "FAIL: the AppStream file does not name version $version"; exit 1; }
grep -qF "<h1>Kestrelix TIFF to BMP $version</h1>" "$prefix/usr/share/doc/kestrelix/index.html" ||
  { echo "FAIL: the manual does not name version $version"; exit 1; }
grep -qF ".TH KESTRELIX 1 \"\" \"Kestrelix TIFF to BMP $version\"" <<<"$(zcat "$prefix/usr/share/man/man1/kestrelix.1.gz")" ||
  { echo "FAIL: the manual page does not name version $version"; exit 1; }
# The changelog is history, written by hand: its newest entry must be the version built.
changelog=$(zcat "$prefix/usr/share/doc/kestrelix/changelog.gz")
[ "${changelog%%$'\n'*}" = "kestrelix ($version) unstable; urgency=medium" ] ||
  { echo "FAIL: the changelog's newest entry is not version $version"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/usr/share/applications/kestrelix.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/usr/share/metainfo/io.github.kestrelix.Kestrelix.metainfo.xml" >/dev/null
fi
if command -v man >/dev/null; then
  page=$(MANWIDTH=100 man -l "$prefix/usr/share/man/man1/kestrelix.1.gz" 2>&1)
  for option in --input= --output= --conversion= --width= --filename-mask= --profile= --quiet --debug --pause --version --help; do
    grep -q -- "$option" <<<"$page" || { echo "FAIL: the manual page lacks $option"; exit 1; }
  done
fi
echo "1 passed, 0 failed"
