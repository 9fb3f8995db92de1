#!/usr/bin/env bash
# Fails on an #include that runs against the direction of the program's folders:
#   platform/shared <- platform/posix <- platform/x11, platform/wayland
#   platform/shared <- platform/qt, platform/win32
#   platform/shared <- engine <- app/shared <- app/linux, app/windows
# A folder includes its own headers and those of the folders it may use, and no host's system
# headers but its own: the host-neutral folders (platform/shared, engine, app/shared) only the
# C++ standard library. Headers are found by name, as the include directories find them, so a
# header name may exist once only. Run by test.sh; exits 1 with every finding listed.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folders each folder may include from, besides its own.
declare -A may=(
    [platform/shared]=""
    [platform/posix]="platform/shared"
    [platform/x11]="platform/posix platform/shared"
    [platform/wayland]="platform/posix platform/shared"
    [platform/qt]="platform/shared"
    [platform/win32]="platform/shared"
    [engine]="platform/shared"
    [engine/reference]="engine platform/shared"
    [app/shared]="engine platform/shared"
    [app/linux]="app/shared engine platform/shared platform/posix platform/x11 platform/wayland platform/qt"
    [app/windows]="app/shared app/resources engine platform/shared platform/win32"
    [app/resources]=""
)
# System headers a folder must not include: those of the hosts it is not (a pattern over the
# name between the angle brackets). The host-neutral folders take standard headers only: no
# ".h", no "/".
std_only='(\.h$|/)'
declare -A foreign=(
    [platform/shared]=$std_only
    [engine]=$std_only
    [engine/reference]=$std_only
    [app/shared]=$std_only
    [platform/posix]='^(windows\.h|winres\.h|commctrl\.h|io\.h|xcb/.*|Q.*)$'
    [platform/x11]='^(windows\.h|winres\.h|commctrl\.h|io\.h|Q.*)$'
    [platform/wayland]='^(windows\.h|winres\.h|commctrl\.h|io\.h|xcb/.*|Q.*)$'
    [platform/qt]='^(windows\.h|winres\.h|commctrl\.h|io\.h|xcb/.*|unistd\.h|sys/.*)$'
    [platform/win32]='^(xcb/.*|Q.*|unistd\.h|sys/.*|dlfcn\.h|poll\.h|iconv\.h)$'
    [app/linux]='^(windows\.h|winres\.h|commctrl\.h|io\.h)$'
    [app/windows]='^(xcb/.*|Q.*|unistd\.h|sys/.*|dlfcn\.h)$'
    [app/resources]='^(xcb/.*|unistd\.h|sys/.*)$'
)
# Made by the build, not found in a folder.
generated='^(pellomar_version\.h)$'

folder_of() {  # the program folder a file is in (the deepest one listed)
    local dir=${1%/*}
    while [[ -z ${may[$dir]+set} && $dir == */* ]]; do dir=${dir%/*}; done
    if [[ -n ${may[$dir]+set} ]]; then echo "$dir"; fi
}

# A header belongs to the deepest listed folder that holds it (engine/structured is the engine's).
declare -A home=()
findings=()
while IFS= read -r header; do
    dir=$(folder_of "$header")
    [[ -n $dir ]] || continue
    name=${header##*/}
    if [[ -n ${home[$name]+set} && ${home[$name]} != "$dir" ]]; then
        findings+=("$name is in both ${home[$name]} and $dir: an include cannot tell them apart")
    fi
    home[$name]=$dir
done < <(find platform engine app -name '*.h' -type f | sort)

files=0
includes=0
while IFS= read -r file; do
    dir=$(folder_of "$file")
    [[ -n $dir ]] || continue
    files=$((files + 1))
    allowed=" $dir ${may[$dir]} "
    while IFS=: read -r line text; do
        includes=$((includes + 1))
        if [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
            path=${BASH_REMATCH[1]}
            name=${path##*/}
            [[ $name =~ $generated ]] && continue
            if [[ -z ${home[$name]+set} ]]; then
                findings+=("$file:$line: \"$path\" is no header of the program's folders")
            elif [[ $allowed != *" ${home[$name]} "* ]]; then
                findings+=("$file:$line: $dir may not use ${home[$name]} (\"$name\")")
            fi
        elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
            name=${BASH_REMATCH[1]}
            if [[ $name =~ ${foreign[$dir]} ]]; then
                findings+=("$file:$line: $dir may not include <$name>")
            fi
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find platform engine app \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) -type f | sort)

if ((${#findings[@]} > 0)); then
    printf 'check-layers: %s\n' "${findings[@]}" >&2
    echo "check-layers: ${#findings[@]} include(s) against the direction, in $files files" >&2
    exit 1
fi
echo "check-layers: $includes includes in $files files, none against the direction"
