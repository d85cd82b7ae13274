#!/bin/bash
# Checks that everything in the application bundle starts on the oldest macOS we support: every
# Mach-O file in it (the program, frameworks, plug-ins, libraries), for each of its architectures,
# declares a minimum macOS ("minos" of LC_BUILD_VERSION, or "version" of the older
# LC_VERSION_MIN_MACOSX) no newer than the floor, links only what is inside the bundle (@rpath/,
# @executable_path/, @loader_path/), in /System/Library or in /usr/lib, and searches (LC_RPATH)
# only inside the bundle. Prints every binary's minimum; exits 1 on any fault.
#
#   packaging/macos/check-bundle-floor.sh [--floor 14.0] [--dump FILE] APP
#   packaging/macos/check-bundle-floor.sh [--floor 14.0] --archives LIBRARY.a...
#   packaging/macos/check-bundle-floor.sh [--floor 14.0] --from-dump FILE
#   packaging/macos/check-bundle-floor.sh --self-test
#
# On macOS it reads the bundle with `lipo -archs`, `otool -arch ARCH -l` and `otool -arch ARCH -L`
# (Xcode's command line tools) and can keep what they printed (--dump). --archives checks the object
# files of static libraries linked into the program the same way (their minimum only). --from-dump checks such a
# dump anywhere, Linux included: a line "@@@ RELATIVE-PATH (ARCH)" before each file's otool output.
# --self-test checks the hand-written sample dump beside this script (otool's format as Apple's
# tools print it) as it is, and with each fault put into it, on any system.
set -euo pipefail

floor=14.0
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Reads a dump on standard input; prints each file's minimum and each fault; fails on a fault.
check_dump() {
  awk -v floor="$floor" '
    function newer(a, b,   x, y, i, n) {  # whether version a is newer than b
      split(a, x, "."); split(b, y, ".")
      for (i = 1; i <= 3; ++i) { if (x[i] + 0 > y[i] + 0) return 1; if (x[i] + 0 < y[i] + 0) return 0 }
      return 0
    }
    function fault(text) { print "FAULT: " name ": " text; ++faults }
    function finish() {
      if (name == "") return
      # An object file in a static library may leave its minimum to the program it is linked into.
      if (minos == "" && name ~ /\.o\)$/) { ++files; return }
      if (minos == "") fault("declares no minimum macOS (no LC_BUILD_VERSION or LC_VERSION_MIN_MACOSX)")
      else {
        printf "minos %-8s %s\n", minos, name
        if (newer(minos, floor)) fault("minos " minos " is newer than macOS " floor)
      }
      ++files
    }
    /^@@@ / { finish(); name = substr($0, 5); minos = ""; cmd = ""; id = ""; next }
    name == "" { next }
    /^[^ \t].*:$/ { next }  # otool heading: the file and its architecture
    $1 == "cmd" { cmd = $2; next }
    cmd == "LC_BUILD_VERSION" && $1 == "platform" { macos = $2 == "MACOS" || $2 == "1"; next }
    cmd == "LC_BUILD_VERSION" && $1 == "minos" && macos { minos = $2; next }
    cmd == "LC_VERSION_MIN_MACOSX" && $1 == "version" { minos = $2; next }
    cmd == "LC_ID_DYLIB" && $1 == "name" {  # the name of the library itself, which otool -L lists first
      id = $0; sub(/^[ \t]*name[ \t]+/, "", id); sub(/ \(offset [0-9]+\)$/, "", id)
      next
    }
    cmd == "LC_RPATH" && $1 == "path" {
      path = $0; sub(/^[ \t]*path[ \t]+/, "", path); sub(/ \(offset [0-9]+\)$/, "", path)
      if (path !~ /^@(executable_path|loader_path)(\/|$)/) fault("searches for libraries in " path ", outside the bundle")
      next
    }
    /\(compatibility version / {
      library = $0; sub(/^[ \t]+/, "", library); sub(/ \(compatibility version .*$/, "", library)
      if (library == id) { id = ""; next }
      if (library !~ /^@(rpath|executable_path|loader_path)\// && library !~ /^\/System\/Library\// && library !~ /^\/usr\/lib\//)
        fault("links " library ", outside the bundle and the system")
      next
    }
    END {
      finish()
      if (files == 0) { print "FAULT: no Mach-O file in the bundle"; ++faults }
      if (faults) { printf "%d fault(s): the bundle would not start on macOS %s as it is\n", faults, floor; exit 1 }
      printf "%d Mach-O file(s) start on macOS %s and link only the bundle and the system\n", files, floor
    }
  '
}

# Writes the dump of a bundle (macOS only).
dump_bundle() {
  local app=${1%/} file arch
  while IFS= read -r -d '' file; do
    file -b "$file" | grep -q '^Mach-O' || continue
    for arch in $(lipo -archs "$file"); do
      echo "@@@ ${file#"$app"/} ($arch)"
      otool -arch "$arch" -l "$file"
      otool -arch "$arch" -L "$file"
    done
  done < <(find "$app" -type f -print0 | sort -z)
}

# Writes the dump of static libraries: each object file in them is a file of its own. The linker
# gives the program the minimum it is linked for, whatever its objects say, so an object built for
# a newer macOS is seen only here (it may call what macOS 14 does not have).
dump_archives() {
  local library
  for library in "$@"; do
    otool -l "$library" | archive_sections "$(basename "$library")"
  done
}
archive_sections() {  # otool -l of a static library on standard input: a section per object file
  awk -v library="$1" '
    /^[^ \t].*\(.*\.o\):$/ { member = $0; sub(/^.*\(/, "", member); sub(/\):$/, "", member)
                              print "@@@ " library "(" member ")"; next }
    { print }'
}

# The sample as it is must pass; each fault put into it must fail, naming the fault.
self_test() {
  local sample=$here/bundle-floor-sample.txt failed=0 output
  expect() {  # expect pass|fail TEXT-IN-OUTPUT LABEL, the dump on standard input
    local want=$1 text=$2 label=$3 result=pass
    output=$(check_dump) || result=fail
    if [[ $result != "$want" ]] || ! grep -qF -- "$text" <<<"$output"; then
      echo "self-test: $label: expected $want with \"$text\", got $result:" >&2
      echo "$output" >&2
      failed=1
    else
      echo "self-test: $label: $result as expected"
    fi
  }
  expect pass "start on macOS 14.0" "the sample bundle" <"$sample"
  # The first minos 12.0 (QtCore's x86_64 slice) as a bottle built on macOS 15 would declare it.
  awk '!done && $1 == "minos" && $2 == "12.0" { sub(/12\.0/, "15.0"); done = 1 } 1' "$sample" |
    expect fail "QtCore (x86_64): minos 15.0 is newer than macOS 14.0" "a library for macOS 15"
  awk '!done && $1 == "/usr/lib/libc++.1.dylib" {
         print "\t/opt/homebrew/opt/icu4c/lib/libicuuc.77.dylib (compatibility version 77.0.0, current version 77.1.0)"; done = 1
       } 1' "$sample" |
    expect fail "links /opt/homebrew/opt/icu4c/lib/libicuuc.77.dylib, outside the bundle" "a link to Homebrew"
  sed 's|@executable_path/../Frameworks (offset|/opt/homebrew/lib (offset|' "$sample" |
    expect fail "searches for libraries in /opt/homebrew/lib" "a search path outside the bundle"
  awk '$2 == "LC_VERSION_MIN_MACOSX" { drop = 1 } drop && $1 == "version" { drop = 0; next } 1' "$sample" |
    expect fail "libqcocoa.dylib (arm64): declares no minimum macOS" "no minimum"
  printf '' | expect fail "no Mach-O file" "an empty bundle"
  floor=15.0 expect pass "start on macOS 15.0" "another floor" <"$sample"
  # A static library: an object file without a minimum is left to the program; one for 15 is not.
  local archive='Archive : /Users/runner/deps/lib/libcrypto.a
/Users/runner/deps/lib/libcrypto.a(libcrypto-lib-sha256.o):
Load command 1
      cmd LC_BUILD_VERSION
  cmdsize 24
 platform 1
    minos 14.0
      sdk 15.5
   ntools 0
/Users/runner/deps/lib/libcrypto.a(libcrypto-lib-sha256-armv8.o):
Load command 0
      cmd LC_SEGMENT_64
  cmdsize 232'
  archive_sections libcrypto.a <<<"$archive" | expect pass "2 Mach-O file(s)" "a static library"
  sed 's/minos 14.0/minos 15.0/' <<<"$archive" | archive_sections libcrypto.a |
    expect fail "libcrypto.a(libcrypto-lib-sha256.o): minos 15.0" "a static library for macOS 15"
  return $failed
}

dump=
from=
archives=0
while (($#)); do
  case $1 in
    --archives) archives=1; shift ;;
    --floor) floor=$2; shift 2 ;;
    --dump) dump=$2; shift 2 ;;
    --from-dump) from=$2; shift 2 ;;
    --self-test) self_test; exit ;;
    -*) echo "usage: $0 [--floor X.Y] [--dump FILE] APP | --archives LIBRARY.a... | --from-dump FILE | --self-test" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [[ -n $from ]]; then
  check_dump <"$from"
elif ((archives)); then
  dump_archives "$@" | check_dump
elif (($# == 1)) && [[ -d $1/Contents ]]; then
  if [[ -n $dump ]]; then
    dump_bundle "$1" >"$dump"
    check_dump <"$dump"
  else
    dump_bundle "$1" | check_dump
  fi
else
  echo "usage: $0 [--floor X.Y] [--dump FILE] APP | --archives LIBRARY.a... | --from-dump FILE | --self-test" >&2
  exit 2
fi
