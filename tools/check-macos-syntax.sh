#!/usr/bin/env bash
# Checks on Linux that the macOS-only sources compile, as far as a compiler can tell without a Mac:
# clang parses each source (-fsyntax-only, warnings as errors) with the declarations of the macOS
# calls we use (packaging/macos/syntax-stubs, each following Apple's manual page or header) first
# on the include path and the Linux system headers for the rest. A misspelt or undeclared call,
# or arguments of the wrong types, stop the check. It also fails when a macOS-only source uses a
# call that exists on Linux only, and when the engine outside engine/platform tests the platform
# with #if. Sources of the window with Q_OS_MACOS branches are parsed with Q_OS_MACOS defined.
#
#   tools/check-macos-syntax.sh
#
# The macOS-only sources are the C++ files named in the APPLE branches (if(APPLE) ... else(), or
# the else() of if(NOT APPLE)) of the project's CMakeLists.txt files. Needs clang++ (Debian
# package clang) and, for sources that include Qt, Qt 6 (qt6-base-dev).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
stubs=packaging/macos/syntax-stubs
app=MorraRussianLumenInstaller

# Lines "A|N <folder of the CMakeLists.txt> <file name>" for every source in an APPLE branch (A) or
# in the other branch of the same if (N).
macos_only_sources() {
  local list
  while IFS= read -r list; do
    awk -v dir="$(dirname "$list")" '
      function lower(s) { return tolower(s) }
      function branch(   i) {
        for (i = 1; i <= depth; ++i) if (apple[i] == 1) return "A"
        for (i = 1; i <= depth; ++i) if (apple[i] == -1) return "N"
        return ""
      }
      { line = $0; sub(/#.*/, "", line) }
      match(lower(line), /^[ \t]*if[ \t]*\(/) {
        condition = line; sub(/^[^(]*\(/, "", condition); sub(/\)[ \t]*$/, "", condition)
        gsub(/[ \t]/, "", condition)
        ++depth; kind[depth] = condition == "APPLE" ? "apple" : condition == "NOTAPPLE" ? "notapple" : "other"
        apple[depth] = kind[depth] == "apple" ? 1 : kind[depth] == "notapple" ? -1 : 0; next
      }
      match(lower(line), /^[ \t]*elseif[ \t]*\(/) { kind[depth] = "other"; apple[depth] = 0; next }
      match(lower(line), /^[ \t]*else[ \t]*\(/) {
        apple[depth] = kind[depth] == "notapple" ? 1 : kind[depth] == "apple" ? -1 : 0; next
      }
      match(lower(line), /^[ \t]*endif[ \t]*\(/) { --depth; next }
      branch() != "" {
        n = split(line, words, /[ \t()"]+/)
        for (i = 1; i <= n; ++i) if (words[i] ~ /\.(cpp|cc|c|mm)$/) print branch(), dir, words[i]
      }
    ' "$list"
  done < <(find . -name CMakeLists.txt -not -path './build*' -not -path './.git/*' | sort)
}

status=0
sources=()
listed=$(macos_only_sources | sort -u)
while read -r dir file; do
  # A source in both branches (the entry point) is not macOS-only.
  grep -qxF "N $dir $file" <<<"$listed" && continue
  path=$dir/$file
  [[ $file = /* ]] && path=$file
  path=${path#./}
  if [[ ! -f $path ]]; then
    echo "check-macos-syntax: $path is named in an APPLE branch of $dir/CMakeLists.txt but does not exist" >&2
    status=1
    continue
  fi
  sources+=("$path")
done < <(sed -n 's/^A //p' <<<"$listed")

if ((${#sources[@]} == 0)); then
  echo "check-macos-syntax: no macOS-only sources found in the APPLE branches" >&2
  exit 1
fi

qt_flags=()
if pkg-config --exists Qt6Widgets 2>/dev/null; then
  for flag in $(pkg-config --cflags Qt6Widgets); do
    case $flag in
      -I*) qt_flags+=(-isystem "${flag#-I}") ;;
      *) qt_flags+=("$flag") ;;
    esac
  done
fi

# The window's macOS branches (#if defined(Q_OS_MACOS)) in sources built on every system: parsed
# once more with Q_OS_MACOS defined. Qt's own headers stay those of Linux, so this checks our code
# in those branches, not macOS-only parts of Qt.
qt_macos_sources=()
while IFS= read -r source; do
  qt_macos_sources+=("$source")
done < <(grep -rlE '^[[:space:]]*#[[:space:]]*(if|ifdef|elif).*Q_OS_(MACOS|DARWIN|MAC)\b' "$app" --include='*.cpp' | sort)

for source in "${sources[@]}" "${qt_macos_sources[@]}"; do
  case $source in
    *.mm)
      # Objective-C++ needs the SDK's frameworks, which are not declared here.
      echo "check-macos-syntax: $source is Objective-C++ and is NOT checked here" >&2
      continue ;;
  esac
  echo "== $source"
  defines=()
  [[ " ${qt_macos_sources[*]} " == *" $source "* ]] && defines=(-DQ_OS_MACOS)
  if ! clang++ -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -fPIC "${defines[@]}" \
      -isystem "$stubs" \
      -I "$(dirname "$source")" -I "$app" -I "$app/engine" -I "$app/engine/api" -I "$app/ui" \
      "${qt_flags[@]}" "$source"; then
    status=1
  fi
  # Calls and flags that Linux has and macOS does not: the Linux headers would let them through.
  if grep -nwE 'copy_file_range|sync_file_range|renameat2|RENAME_NOREPLACE|RENAME_EXCHANGE|statx|O_TMPFILE|O_PATH|FICLONE|fallocate|posix_fadvise|syncfs|getrandom|memfd_create' "$source"; then
    echo "check-macos-syntax: $source uses a Linux-only call (above)" >&2
    status=1
  fi
done

# The engine's logic is the same on every system: the platform is chosen by CMake, never by #if.
if grep -rnE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(__APPLE__|__linux__|__MACH__|_WIN32|TARGET_OS_|Q_OS_)' \
    "$app/engine" --include='*.cpp' --include='*.h' | grep -v "^$app/engine/platform/"; then
  echo "check-macos-syntax: a platform #if in the engine outside engine/platform (above)" >&2
  status=1
fi

if ((status == 0)); then
  echo "check-macos-syntax: ${#sources[@]} macOS-only source(s) and ${#qt_macos_sources[@]} with macOS branches pass"
fi
exit $status
