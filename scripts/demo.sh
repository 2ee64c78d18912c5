#!/usr/bin/env bash
# The main job: sets up the machine, builds the program and the database tool, makes a demo
# folder (configuration file, reference database filled from scripts/demo/*.csv, sample input
# quote) and starts the program on it: in quote mode, or in configuration mode with
# "bash scripts/demo.sh CONFIG". With a display the window opens for you; without one the
# program runs under Xvfb, a screenshot of its window is saved, and the program is closed.
# The database is made anew on every run.
set -euo pipefail
mode="${1:-DEVIS}"
case "$mode" in
  DEVIS | CONFIG) ;;
  *) echo "usage: bash scripts/demo.sh [DEVIS|CONFIG]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target gestion-dechets zevtool

demo="$root/demo"
mkdir -p "$demo"
cat > "$demo/gestion-dechets.ini" <<INI
[Database]
Path=$demo/kestrevaud.zev
[Xml]
InPath=$demo/devis-entree.xml
OutPath=$demo/devis-sortie.xml
INI

# The demo reference database, made anew from the sample CSV files.
tool="$root/build/tools/zevtool"
rm -f "$demo/kestrevaud.zev"
"$tool" create-reference "$demo/kestrevaud.zev"
for table in ENTREPRISE MATIERE UNITE; do
  "$tool" load "$demo/kestrevaud.zev" "$table" "$root/scripts/demo/$table.csv"
done
# The sample quote the host hands over: ten lines, three companies, the labour amount.
cp "$root/scripts/demo/devis-entree.xml" "$demo/devis-entree.xml"

program="$root/build/shell/gestion-dechets"
export LANG=fr_FR.UTF-8
if [ -n "${DISPLAY:-}" ]; then
  exec "$program" "$mode" "$demo/gestion-dechets.ini"
fi

# The ASCII part of the caption: xdotool matches names beyond ASCII only in a UTF-8 locale.
if [ "$mode" = DEVIS ]; then
  shot="$demo/capture-devis.png"
  pattern="Version 1\.0 du 24/11/2021"
  caption="Gestion des déchets - Version 1.0 du 24/11/2021"
else
  shot="$demo/capture-config.png"
  pattern="^Configuration de la gestion"
  caption="Configuration de la gestion des déchets"
fi
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
  "$1" "$6" "$2" & pid=$!
  if ! window=$(timeout 30 xdotool search --sync --onlyvisible --name "$3" | head -n 1); then
    echo "demo: the window did not appear" >&2; kill $pid 2>/dev/null; exit 1
  fi
  sleep 1   # let the window paint before the capture
  # Xvfb has no window manager to draw a title bar: the capture gets one with the caption.
  import -window "$window" png:- |
    convert - -background "#3c3f41" -gravity north -splice 0x26 -fill white \
      -font DejaVu-Sans -pointsize 13 -annotate +0+5 "$4" "$5"
  kill $pid; wait $pid 2>/dev/null || true
' demo "$program" "$demo/gestion-dechets.ini" "$pattern" "$caption" "$shot" "$mode"
echo "demo: screenshot of the $mode window saved to $shot"
