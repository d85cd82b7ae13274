#!/usr/bin/env bash
# Checks on Linux, as far as a compiler can tell without a Mac, that the project's sources compile
# on macOS. Every source is parsed by clang (-fsyntax-only, warnings as errors) with a forced-include
# header, packaging/macos/syntax-stubs/linux-only-poison.h, that makes the calls, flags and types
# that Linux has and macOS does not an error (setresuid, sendfile, copy_file_range, renameat2,
# statx, O_TMPFILE, memfd_create, pipe2, epoll, inotify, prctl, ...). Two kinds of source:
#
# - The macOS-only sources (the C++ files named in the APPLE branches of the project's
#   CMakeLists.txt files: if(APPLE) ... else(), or the else() of if(NOT APPLE)) are parsed with the
#   declarations of the macOS calls we use (packaging/macos/syntax-stubs, each following Apple's
#   manual page or header) first on the include path and the Linux system headers for the rest.
#   A misspelt or undeclared macOS call, or arguments of the wrong types, stop the check.
# - Every other source that a build compiles (engine, command line, window, tools, tests,
#   benchmarks; not the Linux-only ones of the NOT APPLE branches), taken with its own include
#   paths and definitions from BUILD_DIR/compile_commands.json: Linux's system, Qt and GoogleTest
#   headers, the stubs, the poison header, and Q_OS_MACOS defined for a source that branches on it,
#   so that our code in those branches is parsed too. This checks our code, not macOS-only parts of
#   Qt or of the system headers: a branch on __APPLE__ or __has_include outside engine/platform is
#   parsed in its Linux form only.
#
# It also fails when a source other than a Linux-only one names a /proc path or includes a
# Linux-only header, and when the engine outside engine/platform tests the platform with #if.
#
#   tools/check-macos-syntax.sh [BUILD_DIR]
#
# BUILD_DIR (default: build) is a built Linux build of the project (Qt's generated files must
# exist); the fuzz targets are checked only if it was configured with -DMORRA_LUMEN_FUZZ=ON. Needs
# clang++ (Debian package clang) and what the build needs. While editing, ONLY=REGEX parses only the
# sources whose paths match (the other checks still cover every source).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${1:-build}
stubs=packaging/macos/syntax-stubs
poison=$stubs/linux-only-poison.h
app=MorraRussianLumenInstaller
if [[ ! -f $build/compile_commands.json ]]; then
  echo "check-macos-syntax: $build/compile_commands.json is missing: configure and build the project there first" >&2
  exit 2
fi
build=$(cd "$build" && pwd)

# Lines "A|N <folder of the CMakeLists.txt> <file name>" for every source in an APPLE branch (A) or
# in the other branch of the same if (N).
branch_sources() {
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
listed=$(branch_sources | sort -u)
macos_only=()   # parsed with the stubs alone
linux_only=()   # not parsed; never built on macOS
while read -r kind dir file; do
  [[ -z $kind ]] && continue
  # A source in both branches (the entry point) belongs to every system.
  [[ $kind = A ]] && grep -qxF "N $dir $file" <<<"$listed" && continue
  [[ $kind = N ]] && grep -qxF "A $dir $file" <<<"$listed" && continue
  path=$dir/$file
  [[ $file = /* ]] && path=$file
  path=${path#./}
  if [[ ! -f $path ]]; then
    echo "check-macos-syntax: $path is named in $dir/CMakeLists.txt but does not exist" >&2
    status=1
    continue
  fi
  if [[ $kind = A ]]; then macos_only+=("$path"); else linux_only+=("$path"); fi
done <<<"$listed"
if ((${#macos_only[@]} == 0)); then
  echo "check-macos-syntax: no macOS-only sources found in the APPLE branches" >&2
  exit 1
fi
is_in() {
  local wanted=$1 item
  shift
  for item in "$@"; do [[ $item = "$wanted" ]] && return 0; done
  return 1
}

# Every source of the build, with its compile command: lines "file<TAB>command" (CMake reads the
# JSON, so nothing beyond the build's own tools is needed).
script=$(mktemp)
logs=$(mktemp -d)
trap 'rm -rf "$script" "$logs"' EXIT
cat >"$script" <<'EOF'
file(READ "${database}" json)
string(JSON count LENGTH "${json}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON file GET "${json}" ${i} file)
  string(JSON command GET "${json}" ${i} command)
  string(REPLACE "\n" " " command "${command}")
  message("${file}\t${command}")
endforeach()
EOF
commands=$(cmake -Ddatabase="$build/compile_commands.json" -P "$script" 2>&1)

# The arguments of a compile command that say what the source sees: include paths, definitions,
# the language standard, position-independent code (which Qt's headers check).
flags_of() {
  local -a words=() kept=()
  eval "words=($1)"
  local i word
  for ((i = 1; i < ${#words[@]}; ++i)); do
    word=${words[i]}
    case $word in
      -I | -isystem | -iquote | -D | -U | -include) kept+=("$word" "${words[i + 1]}"); ((++i)) ;;
      -I* | -isystem* | -iquote* | -D* | -U* | -std=* | -fPIC | -fPIE | -fpic | -fpie) kept+=("$word") ;;
    esac
  done
  printf '%s\n' "${kept[@]}"
}

parse() {  # parse LOG SOURCE CLANG-ARGUMENTS...
  local log=$1 source=$2
  shift 2
  if ! clang++ -fsyntax-only -Wall -Wextra -Wpedantic -Werror -include "$root/$poison" "$@" "$root/$source" \
      >"$log" 2>&1; then
    echo "== $source" >>"$log"
    return 1
  fi
}

jobs=$(nproc 2>/dev/null || echo 2)
running=0
checked=()
start() {  # runs parse in the background, at most $jobs at a time
  if ((running >= jobs)); then wait -n || true; running=$((running - 1)); fi
  parse "$@" &
  running=$((running + 1))
}

only=${ONLY:-.}
for source in "${macos_only[@]}"; do
  grep -qE -- "$only" <<<"$source" || continue
  case $source in
    *.mm)
      # Objective-C++ needs the SDK's frameworks, which are not declared here.
      echo "check-macos-syntax: $source is Objective-C++ and is NOT checked here" >&2
      continue ;;
  esac
  checked+=("$source")
  start "$logs/${#checked[@]}" "$source" -std=c++20 -fPIC -isystem "$root/$stubs" \
    -I "$root/$(dirname "$source")" -I "$root/$app" -I "$root/$app/engine" -I "$root/$app/engine/api"
  # Calls and flags that Linux has and macOS does not, beyond those the poison header names.
  if grep -nwE 'sync_file_range|FICLONE|posix_fadvise|getrandom' "$source"; then
    echo "check-macos-syntax: $source uses a Linux-only call (above)" >&2
    status=1
  fi
done

everywhere=0
while IFS=$'\t' read -r file command; do
  [[ $file = "$root"/* && $file != "$build"/* ]] || continue  # generated sources are not ours
  source=${file#"$root"/}
  is_in "$source" "${macos_only[@]}" "${linux_only[@]}" && continue
  grep -qE -- "$only" <<<"$source" || continue
  mapfile -t flags < <(flags_of "$command")
  defines=()
  grep -qE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*Q_OS_(MACOS|DARWIN|MAC)\b' "$source" && defines=(-DQ_OS_MACOS)
  checked+=("$source")
  everywhere=$((everywhere + 1))
  start "$logs/${#checked[@]}" "$source" -isystem "$root/$stubs" "${defines[@]}" "${flags[@]}"
done < <(grep $'\t' <<<"$commands" | sort)
while ((running > 0)); do
  wait -n || true
  running=$((running - 1))
done
for log in "$logs"/*; do
  if [[ -s $log ]]; then
    cat "$log" >&2
    grep -q '^== ' "$log" && status=1
  fi
done
if ((everywhere == 0)); then
  echo "check-macos-syntax: $build/compile_commands.json names none of the project's sources" >&2
  status=1
fi

# Things a compiler does not see: /proc paths in strings, and Linux-only headers.
sources=()
while IFS= read -r -d '' source; do
  source=${source#./}
  is_in "$source" "${linux_only[@]}" || sources+=("$source")
done < <(find "$app" tests tools bench -name '*.cpp' -print0 -o -name '*.h' -print0)
if grep -nE '"/proc(/|")' "${sources[@]}"; then
  echo "check-macos-syntax: a /proc path outside the Linux-only sources (above); macOS has no /proc" >&2
  status=1
fi
if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(linux/|sys/(epoll|inotify|prctl|sendfile|signalfd|eventfd|timerfd|vfs|statfs)\.h|mntent\.h)' \
    "${sources[@]}"; then
  echo "check-macos-syntax: a Linux-only header outside the Linux-only sources (above)" >&2
  status=1
fi

# The engine's logic is the same on every system: the platform is chosen by CMake, never by #if.
if grep -rnE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(__APPLE__|__linux__|__MACH__|_WIN32|TARGET_OS_|Q_OS_)' \
    "$app/engine" --include='*.cpp' --include='*.h' | grep -v "^$app/engine/platform/"; then
  echo "check-macos-syntax: a platform #if in the engine outside engine/platform (above)" >&2
  status=1
fi

if ((status == 0)); then
  echo "check-macos-syntax: ${#checked[@]} source(s) pass, $everywhere of them with Linux's own headers"
fi
exit $status
