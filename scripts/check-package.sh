#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it without installing it: its files
# and Depends (dpkg-deb), then the programs unpacked into a temporary folder, with no
# LD_LIBRARY_PATH, find their video build and picture-reader module relative to themselves;
# every manual page renders (man -l).
set -euo pipefail
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Vantorell VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
(cd "$build" && cpack -G DEB -B "$work/cpack" >/dev/null)
deb="$work/cpack/vantorell_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' > "$work/files"
for file in /usr/bin/vantorell-mix /usr/libexec/vantorell/vantorell-mix-video /usr/lib/vantorell/libvantorell_qtimage.so \
            /usr/share/man/man1/vantorell-mix.1 /usr/share/man/man1/vantorell-mix-batch.1 \
            /usr/share/vantorell/Samples/sample1.jpg; do
  grep -qx "$file" "$work/files" || fail "$file is not in the package"
done
if grep -q '^/usr/bin/vantorell$' "$work/files"; then   # a build with the window
  for file in /usr/share/applications/vantorell.desktop /usr/share/icons/hicolor/256x256/apps/vantorell.png \
              /usr/share/man/man1/vantorell.1; do
    grep -qx "$file" "$work/files" || fail "$file is not in the package"
  done
fi
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libjpeg62-turbo libavcodec libqt6gui6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

dpkg-deb -x "$deb" "$work/root"
mix="$work/root/usr/bin/vantorell-mix"
[ "$(env -u LD_LIBRARY_PATH "$mix" --version)" = "vantorell-mix $version" ] || fail "--version"
samples="$work/root/usr/share/vantorell/Samples"
convert "$samples/sample2.jpg" "$work/second.png"   # not a JPEG: the picture-reader module is loaded
run() {
  env -u LD_LIBRARY_PATH -u VANTORELL_QT_IMAGE_MODULE LD_DEBUG=files "$mix" "$@" 2>"$work/log" >/dev/null ||
    { cat "$work/log" >&2; fail "vantorell-mix $*"; }
  # ld.so says "generating link map" only for the file it opened, not for the places it tried.
  grep -q "file=$work/root/usr/[^ ]*libvantorell_qtimage.so .*generating link map" "$work/log" ||
    fail "the module was not loaded from the package: $*"
}
run --type overlay --image1 "$samples/sample1.jpg" --image2 "$work/second.png" --output-file "$work/overlay.jpg"
run --type fade --format gif --frames 3 --image1 "$samples/sample1.jpg" --image2 "$work/second.png" \
  --output-file "$work/fade.gif"   # through the video build in libexec
# The Python module: in Debian's dist-packages, and importable from there with no LD_LIBRARY_PATH.
grep -q '^/usr/lib/python3/dist-packages/vantorell\..*\.so$' "$work/files" || fail "the Python module is not in the package"
(cd "$work" && env -u LD_LIBRARY_PATH PYTHONPATH="$work/root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
  "import vantorell, sys; sys.exit(vantorell.__version__ != '$version' or not vantorell.__file__.startswith('$work/root/'))") ||
  fail "python3 -c 'import vantorell' from the package"
for page in "$work"/root/usr/share/man/man1/*.1*; do
  [ "$(man -l "$page" 2>/dev/null | wc -l)" -gt 20 ] || fail "man -l $(basename "$page") renders nothing"
done
echo "check-package: $(basename "$deb") ($(wc -l < "$work/files") entries) checked; Depends: $depends"
