#!/usr/bin/env bash
# Runs scripts/check-layers on a copy of the sources, changed case by case, and on the built
# programs or stand-ins for them: it passes on the tree as it is and fails, naming the
# problem, on each breach of the layering and whenever it could not check.
# Usage: TEST SOURCE_FOLDER PROGRAM DECODER DRAWING_MODULE WINDOW_MODULE
set -euo pipefail
source_folder=$1
program=$2 decoder=$3 drawing=$4 window=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

layer_folders=(base settings imaging decoder engine drawing gfx ui core)
fresh_tree() {
    rm -rf "$work/tree"
    mkdir -p "$work/tree/scripts"
    cp "$source_folder/scripts/check-layers" "$work/tree/scripts/"
    for folder in "${layer_folders[@]}"; do
        cp -r "$source_folder/$folder" "$work/tree/"
    done
}

# A PATH with every tool the script uses but readelf.
mkdir -p "$work/no-readelf"
for tool in bash dirname basename find sed grep tr; do
    ln -s "$(command -v "$tool")" "$work/no-readelf/$tool"
done
# Stand-ins: a text file under the program's name, and programs under each other's names.
mkdir -p "$work/text" "$work/swapped"
echo "not a program" >"$work/text/kestrelix"
cp "$window" "$work/swapped/kestrelix"
cp "$decoder" "$work/swapped/libkestrelix-drawing.so"

all=("$program" "$decoder" "$drawing" "$window")
# name | change to the tree | programs | expected: "pass" or a part of the failure's text
cases=(
    "as_built||${all[*]}|pass"
    "includes_only|||pass"
    "no_readelf|path=$work/no-readelf|${all[*]}|readelf is missing"
    "unreadable_program||$work/text/kestrelix $decoder $drawing $window|readelf cannot read it"
    "program_left_out||$program $decoder $drawing|libkestrelix-window.so was not given"
    "unknown_program||${all[*]} $source_folder/README.md|not a program whose linkage is known"
    "program_links_qt_and_freeimage||$work/swapped/kestrelix $decoder $drawing $window|kestrelix links libQt6Widgets"
    "module_lacks_qt_gui||$program $decoder $work/swapped/libkestrelix-drawing.so $window|libkestrelix-drawing.so does not link libQt6Gui."
    "layer_without_sources|empty=gfx|${all[*]}|gfx/ has no sources to check"
    "missing_layer|remove=imaging||imaging/ is missing"
    "upward_include|include=base/text.h:engine/naming.h||base/ may not use engine/"
    "sideways_include|include=ui/common/dialogs.h:drawing/canvas.h||ui/common/ may not reach sideways into drawing/"
    "client_uses_the_reader|include=decoder/client/contained_decoder.h:decoder/tiff/loading.h||decoder/client/ may not reach sideways into decoder/tiff/"
    "gfx_uses_the_project|include=gfx/builtin_pictures.h:base/text.h||gfx/ may not reach sideways into base/"
)

failed=0
for row in "${cases[@]}"; do
    IFS='|' read -r name change programs expected <<<"$row"
    fresh_tree
    path=$PATH
    case $change in
    path=*) path=${change#path=} ;;
    empty=*) find "$work/tree/${change#empty=}" -maxdepth 1 -type f -delete ;;
    remove=*) rm -rf "$work/tree/${change#remove=}" ;;
    include=*)
        target=${change#include=}
        # On a line of its own, whether or not the file ends with a newline.
        printf '\n#include "%s"\n' "${target#*:}" >>"$work/tree/${target%%:*}"
        ;;
    esac
    # shellcheck disable=SC2086 # the programs are a list of words
    if output=$(PATH=$path bash "$work/tree/scripts/check-layers" $programs 2>&1); then
        outcome=pass
    else
        outcome=fail
    fi
    if [ "$expected" = pass ]; then
        [ "$outcome" = pass ] || { echo "FAIL $name: refused the tree as it is: $output"; failed=1; }
    elif [ "$outcome" = pass ]; then
        echo "FAIL $name: passed, expected a failure naming \"$expected\""
        failed=1
    elif [[ $output != *"$expected"* ]]; then
        echo "FAIL $name: failed without naming \"$expected\": $output"
        failed=1
    fi
done
exit "$failed"
