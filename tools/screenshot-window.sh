#!/usr/bin/env bash
# Takes a picture of the program's window in each of its states, on the demo game, under a virtual
# X server (Xvfb) with a window manager (Openbox) so that the window has its real frame and title.
# The pictures are taken from outside the program with ImageMagick's `import`.
#
#   tools/screenshot-window.sh [BUILD_DIR] [OUTPUT_DIR]     (defaults: build, docs)
#
# Writes OUTPUT_DIR/window-found.png, window-not-found.png, window-working.png, window-result.png
# and window-error.png. Needs a finished build (the demo game is under
# BUILD_DIR/demo, and BUILD_DIR/bin/morra-window-states opens the window in a named state) and the
# Debian packages xvfb, xauth, imagemagick, openbox and fonts-dejavu-core. Each state runs on its
# own copy of the demo game with its backups, settings and home folder in a temporary folder;
# nothing outside it changes. The pictures use DejaVu Sans whatever other fonts are installed.
set -euo pipefail

build=${1:-build}
output=${2:-docs}
states=$build/bin/morra-window-states
demo=$build/demo/morra.app

if [ ! -x "$states" ] || [ ! -d "$demo" ]; then
  echo "No morra-window-states or demo game under $build: build the project first." >&2
  exit 1
fi
for tool in xvfb-run import convert display openbox; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing (Debian packages: xvfb xauth imagemagick openbox)." >&2
    exit 1
  }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/morra-lumen.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$output"
background='#4a5563'

# The same fonts on every machine.
cat >"$scratch/fonts.conf" <<'FONTS'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <alias binding="strong"><family>sans-serif</family><prefer><family>DejaVu Sans</family></prefer></alias>
  <alias binding="strong"><family>monospace</family><prefer><family>DejaVu Sans Mono</family></prefer></alias>
</fontconfig>
FONTS
convert -size 16x16 "xc:$background" "$scratch/background.png"

# Runs inside the virtual X server: the window manager, the window in its state, the picture.
cat >"$scratch/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
states=$1 state=$2 picture=$3 scratch=$4
# (display sets the background and then reports failure: it cannot wait on the root window.)
display -window root "$scratch/background.png" || true
openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
manager=$!
sleep 1
QT_QPA_PLATFORM=xcb "$states" "$state" >"$scratch/$state.out" 2>"$scratch/$state.log" &
program=$!
for _ in $(seq 1 150); do
  if grep -q READY "$scratch/$state.out" 2>/dev/null; then
    sleep 0.5
    import -window root "$picture"
    kill "$program" "$manager" 2>/dev/null || true
    exit 0
  fi
  if ! kill -0 "$program" 2>/dev/null; then
    echo "The window ended before it showed the state $state:" >&2
    cat "$scratch/$state.log" >&2
    exit 1
  fi
  sleep 0.2
done
kill "$program" "$manager" 2>/dev/null || true
echo "The window did not show the state $state within 30 seconds." >&2
exit 1
INSIDE

for state in found not-found working result error; do
  place=$scratch/$state
  mkdir -p "$place/home" "$place/Games/Morra Vellant"
  game="$place/Games/Morra Vellant/morra.app"
  cp -R "$demo" "$game"
  if [ "$state" = error ]; then
    # A game that another program has changed: the engine refuses it before changing anything.
    printf 'changed' >>"$game/Contents/Resources/Data/sharedassets1.assets"
  fi
  variables=(HOME="$place/home" XDG_CONFIG_HOME="$place/home/.config" FONTCONFIG_FILE="$scratch/fonts.conf"
             MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY="$place/support"
             MORRA_LUMEN_INSTALLER_GAME_SETTINGS="$place/Settings.json")
  if [ "$state" != not-found ]; then variables+=(MORRA_LUMEN_INSTALLER_GAME="$game"); fi
  env -u MORRA_LUMEN_INSTALLER_GAME "${variables[@]}" \
    xvfb-run -a -s "-screen 0 1000x720x24 -nolisten tcp" \
    bash "$scratch/inside.sh" "$(realpath "$states")" "$state" "$scratch/$state.png" "$scratch"
  # The window and its alert on a margin of the background.
  convert "$scratch/$state.png" -fuzz 1% -trim +repage -bordercolor "$background" -border 24 \
    "$output/window-$state.png"
  echo "Saved $output/window-$state.png"
done
