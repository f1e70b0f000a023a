#!/usr/bin/env bash
# The installed tree, moved away from where it was installed: its libraries find each other
# through relative paths only, its desktop entry is valid, and the program starts from it with
# the installed bundles and quits cleanly when asked; the installed speech bundle speaks a
# sentence into a sound file.
set -euo pipefail
build=$1
speaker=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
p=$work/moved

for f in "$p/bin/vellora" "$p"/lib/vellora/*.so "$p"/lib/vellora/plugins/*.so; do
  [ -e "$f" ] || { echo "missing: $f"; exit 1; }
  runpath=$(readelf -d "$f" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
  case ":$runpath:" in
    *"$build"*) echo "$f refers to the build folder: $runpath"; exit 1 ;;
  esac
  [ -z "$runpath" ] || [[ "$runpath" == '$ORIGIN'* ]] || { echo "$f: RUNPATH $runpath"; exit 1; }
done
[ -f "$p/lib/vellora/plugins/speech.so" ] && [ -f "$p/lib/vellora/plugins/clipboard.so" ]
desktop-file-validate "$p/share/applications/vellora.desktop"
grep -q '^Keywords=.*speech' "$p/share/applications/vellora.desktop"
grep -q '^Categories=.*Accessibility' "$p/share/applications/vellora.desktop"
[ -f "$p/share/icons/hicolor/scalable/apps/vellora.svg" ]

# Started from the moved tree, it quits cleanly when asked.
"$(dirname "$0")/start_and_quit.sh" "$p/bin/vellora"

# The speaking check runs from the moved tree's bin/, so the host takes the tree's own plug-in
# folder, and every library of ours resolves inside the tree.
cp "$speaker" "$p/bin/"
check=$p/bin/$(basename "$speaker")
outside=$(ldd "$check" | grep -E 'libvellora_|not found' | grep -v " => $p/" || true)
[ -z "$outside" ] || { echo "libraries from outside the tree: $outside"; exit 1; }
"$check" "$work/sentence.wav"
echo "installed tree: ok"
