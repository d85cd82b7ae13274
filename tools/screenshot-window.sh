#!/usr/bin/env bash
# Opens the program's window on the demo game under a virtual X server (Xvfb) and saves a picture
# of it, taken from outside the program with ImageMagick's `import`.
#
#   tools/screenshot-window.sh [BUILD_DIR] [OUTPUT_PNG]     (defaults: build, docs/window.png)
#
# Needs a finished build (it has the demo game under BUILD_DIR/demo) and the Debian packages xvfb,
# xauth, imagemagick and fonts-dejavu-core. The window finds the demo game through
# MORRA_LUMEN_INSTALLER_GAME; backups and settings point into a temporary folder, and nothing is
# installed: the picture shows the window as it opens.
set -euo pipefail

build=${1:-build}
output=${2:-docs/window.png}
program=$build/bin/MorraRussianLumenInstaller
game=$build/demo/morra.app

if [ ! -x "$program" ] || [ ! -d "$game" ]; then
  echo "No program or demo game under $build: build the project first." >&2
  exit 1
fi
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (Debian packages: xvfb xauth imagemagick)." >&2; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/morra-lumen.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$(dirname "$output")"
# A copy of the demo game, so that the path the window shows is a plain one.
mkdir -p "$scratch/Games/Morra Vellant"
cp -R "$game" "$scratch/Games/Morra Vellant/morra.app"
game=$scratch/Games/Morra\ Vellant/morra.app

# The screen is exactly the window's size, so the window, centred on it, fills it.
cat >"$scratch/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
program=$1 output=$2 scratch=$3
QT_QPA_PLATFORM=xcb "$program" >"$scratch/program.log" 2>&1 &
pid=$!
shot() { import -window root "$1" 2>/dev/null; }
# Wait until something other than the empty screen is drawn, then give the window a moment to
# finish painting.
for _ in $(seq 1 100); do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "The program ended before its window appeared:" >&2
    cat "$scratch/program.log" >&2
    exit 1
  fi
  if shot "$scratch/probe.png" && [ "$(convert "$scratch/probe.png" -format %k info:)" -gt 1 ]; then
    sleep 1
    shot "$output"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    exit 0
  fi
  sleep 0.3
done
kill "$pid" 2>/dev/null || true
echo "The window did not appear within 30 seconds." >&2
exit 1
INSIDE

MORRA_LUMEN_INSTALLER_GAME=$game \
MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY=$scratch/support \
MORRA_LUMEN_INSTALLER_GAME_SETTINGS=$scratch/Settings.json \
  xvfb-run -a -s "-screen 0 660x470x24 -nolisten tcp" \
  bash "$scratch/inside.sh" "$(realpath "$program")" "$(realpath -m "$output")" "$scratch"

echo "Saved $output"
