#!/usr/bin/env bash
# Builds the real installer the way the README's "Making a release" does, from a profile and a
# payload that are not the demo's, installs it to a prefix and runs the INSTALLED program on a
# game made for that profile: --inspect, --install (the game must then equal the translated game
# byte for byte), --inspect, --remove (the game must then equal the original byte for byte, with
# nothing left beside its files), then --install-no-skill-cards (the English-card game) and
# --remove again.
#
#   tools/check-release-build.sh [TOOLS_BUILD_DIR] [WORK_DIR]
#
# TOOLS_BUILD_DIR is a build of this project that has bin/morra-fixture (default: build). The
# release inputs, the release build (WORK_DIR/build-release), the prefix and the games go into
# WORK_DIR (default: a new temporary folder, removed when the check passes). The build honours
# MORRA_LUMEN_WERROR from the environment, as any configure of this project does.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tools_build=${1:-$root/build}
fixture=$(cd "$tools_build" && pwd)/bin/morra-fixture
if [[ ! -x $fixture ]]; then
  echo "check-release-build: no $fixture; build the project first (cmake -B build -G Ninja && cmake --build build)" >&2
  exit 2
fi
if [[ -n ${2:-} ]]; then
  mkdir -p "$2"
  work=$(cd "$2" && pwd)
  keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/morra-release-check.XXXXXX")
  keep=0
fi

fail() {
  echo "check-release-build: $*" >&2
  echo "check-release-build: everything is kept in $work" >&2
  exit 1
}

# A build of the game other than the demo's (another seed), in the three forms the check needs:
# the release inputs with the game as it ships, and the game with the translation installed.
seed=20261207 size=3145728
rm -rf "$work/release" "$work/translated" "$work/english" "$work/game" "$work/support" "$work/prefix"
"$fixture" --out "$work/release" --seed $seed --size $size --state untouched --no-forms
"$fixture" --out "$work/translated" --seed $seed --size $size --state installed-translated --no-forms
"$fixture" --out "$work/english" --seed $seed --size $size --state installed-english --no-forms
if cmp -s "$work/release/profile.json" "$root/build/demo/profile.json" 2>/dev/null; then
  fail "the release profile is the demo's; the check would prove nothing"
fi

# The README's build of the real installer, with the profile and payload as build inputs.
(
  cd "$work"
  cmake -S "$root" -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DMORRA_LUMEN_PROFILE="$work/release/profile.json" -DMORRA_LUMEN_PAYLOAD="$work/release/Payload"
  cmake --build build-release && cmake --install build-release --prefix "$work/prefix"
)

program=$work/prefix/bin/MorraRussianLumenInstaller
[[ -x $program ]] || fail "cmake --install did not install $program"
for file in "$work/release/Payload"/*; do
  cmp -s "$file" "$work/prefix/share/MorraRussianLumenInstaller/Payload/$(basename "$file")" ||
    fail "the installed payload file $(basename "$file") differs from the release's"
done
[[ $(find "$work/release/Payload" -type f | wc -l) == $(find "$work/prefix/share/MorraRussianLumenInstaller/Payload" -type f | wc -l) ]] ||
  fail "the installed payload has other files than the release's"

# The installed program on a copy of the game as it ships; backups and settings in the work folder.
mkdir -p "$work/game" "$work/support"
cp -a "$work/release/morra.app" "$work/game/morra.app"
game=$work/game/morra.app
export MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY=$work/support
export MORRA_LUMEN_INSTALLER_GAME_SETTINGS=$work/Settings.json
unset MORRA_LUMEN_INSTALLER_GAME

same_tree() {  # same_tree A B: the same names, types, permission bits and bytes
  diff -r --no-dereference "$1" "$2" >&2 &&
    diff <(cd "$1" && find . -printf '%y %m %p\n' | sort) <(cd "$2" && find . -printf '%y %m %p\n' | sort) >&2
}

run() {  # run EXPECTED_STATUS ARGUMENTS...: the program's output, its exit status checked
  local expected=$1 output status=0
  shift
  output=$("$program" "$@" 2>&1) || status=$?
  printf '$ MorraRussianLumenInstaller %s\n%s\n' "$*" "$output" >&2
  ((status == expected)) || fail "MorraRussianLumenInstaller $* ended with $status, not $expected"
  printf '%s\n' "$output"
}

inspected=$(run 0 --inspect "$game")
grep -q '^Совместимый профиль macOS [0-9]*: перевод не установлен$' <<<"$inspected" ||
  fail "--inspect on the game as it ships does not report it as not installed"
for asset in resources.assets level2 level3 sharedassets0.assets sharedassets1.assets; do
  digest=$(sha256sum "$game/Contents/Resources/Data/$asset" | cut -d' ' -f1)
  grep -q "^$asset: $digest$" <<<"$inspected" || fail "--inspect does not give $asset's digest $digest"
done

run 0 --install "$game" >/dev/null
same_tree "$work/translated/morra.app" "$game" ||
  fail "after --install the game is not the translated game byte for byte"
inspected=$(run 0 --inspect "$game")
grep -q ': перевод установлен, карточки навыков переведены$' <<<"$inspected" ||
  fail "--inspect after --install does not report the translation installed"

run 0 --remove "$game" >/dev/null
same_tree "$work/release/morra.app" "$game" ||
  fail "after --remove the game is not the original byte for byte"
inspected=$(run 0 --inspect "$game")
grep -q ': перевод не установлен$' <<<"$inspected" ||
  fail "--inspect after --remove does not report the game as not installed"

# The variant with the skill cards left English, and its removal.
run 0 --install-no-skill-cards "$game" >/dev/null
same_tree "$work/english/morra.app" "$game" ||
  fail "after --install-no-skill-cards the game is not the English-card game byte for byte"
run 0 --remove "$game" >/dev/null
same_tree "$work/release/morra.app" "$game" ||
  fail "after the second --remove the game is not the original byte for byte"

echo "check-release-build: the installed release build inspects, installs and removes as documented"
((keep)) || rm -rf "$work"
