#!/usr/bin/env bash
# The Debian package as a user receives it: made by cpack, checked by lintian, unpacked into a
# scratch root (the machine's own packages are never touched), its pelisto-build run from that
# read-only tree, its window started on a virtual X server.
# usage: package_test.sh BUILD_DIR FIXTURES_DIR WORK_DIR
# Exits 77 (skipped) where cpack or dpkg-deb is missing.
set -euo pipefail
build=$1 fixtures=$2 work=$3

for tool in cpack dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ -d "$work" ]; then chmod -R u+w "$work"; rm -rf "$work"; fi
mkdir -p "$work/deb"
# The unpacked package lives in /tmp, which any user can reach (the build folder may not be, and
# as root the build runs as nobody).
scratch=$(mktemp -d)
chmod 755 "$scratch"
mkdir -p "$scratch/root" "$scratch/out"
cleanup() { chmod -R u+w "$scratch" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT

# --- build the package --------------------------------------------------------------------------
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack could not make the package"; }
debs=("$work"/deb/pelisto-maker_*.deb)
[ -f "${debs[0]}" ] || fail "no pelisto-maker_*.deb in $work/deb"
deb=${debs[0]}
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"

# --- lintian: no errors -------------------------------------------------------------------------
if command -v lintian >/dev/null; then
  lintian --allow-root "$deb" >"$work/lintian.log" 2>&1 || true
  cat "$work/lintian.log"
  if grep -q '^E: ' "$work/lintian.log"; then fail "lintian reports errors"; fi
else
  echo "lintian is missing: not checked"
fi

# --- the layout ---------------------------------------------------------------------------------
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root tool=$scratch/root/usr/lib/pelisto-maker
cp "$fixtures/pictures/baseline.jpg" "$fixtures/pictures/four2.png" "$scratch/out/"
for f in pelisto-maker pelisto-build TheExe.run TheExe.exe libcrde2000.so libisp2000.so \
         user-guide.html; do
  [ -f "$tool/$f" ] || fail "$f is not in /usr/lib/pelisto-maker"
done
for p in pelisto-maker pelisto-build; do
  [ "$(readlink "$root/usr/bin/$p")" = "../lib/pelisto-maker/$p" ] ||
    fail "/usr/bin/$p is not a symlink into the tool folder"
  if readelf -d "$tool/$p" | grep -Eq 'RPATH|RUNPATH'; then fail "$p carries a run path"; fi
done
for f in usr/share/applications/pelisto-maker.desktop \
         usr/share/icons/hicolor/128x128/apps/pelisto-maker.png \
         usr/share/metainfo/org.pelisto.maker.metainfo.xml \
         usr/share/man/man1/pelisto-build.1.gz usr/share/doc/pelisto-maker/copyright; do
  [ -f "$root/$f" ] || fail "/$f is missing"
done
grep -q '^Categories=Graphics;' "$root/usr/share/applications/pelisto-maker.desktop" ||
  fail "the menu entry is not under Graphics"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.pelisto.maker.metainfo.xml" ||
    fail "the AppStream metainfo is not valid"
fi

# --- pelisto-build from a read-only tool folder -------------------------------------------------
# Root ignores write permission bits, so as root the build runs as nobody.
chmod -R a-w "$root"
before=$(cd "$tool" && ls -la --time-style=full-iso)
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$scratch/out"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${as_user[@]}" env HOME="$scratch/out" TMPDIR="$scratch/out" \
  "$root/usr/bin/pelisto-build" -o "$scratch/out/show.run" -q 60 --auto --delay 3 \
  "$scratch/out/baseline.jpg" "$scratch/out/four2.png" ||
  fail "the installed pelisto-build could not make a slideshow"
stub_size=$(stat -c %s "$tool/TheExe.run")
cmp -s -n "$stub_size" "$tool/TheExe.run" "$scratch/out/show.run" ||
  fail "the slideshow does not start with the installed Linux stub"
[ "$(stat -c %s "$scratch/out/show.run")" -gt "$stub_size" ] || fail "the slideshow holds no pictures"
[ "$before" = "$(cd "$tool" && ls -la --time-style=full-iso)" ] || fail "the tool folder was written"

# --- the installed window, in English, on a virtual X server ------------------------------------
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run or xdotool is missing: the window is not checked"
  exit 0
fi
cat >"$work/window.sh" <<'SCRIPT'
#!/usr/bin/env bash
# Started under xvfb-run: the tool, its window found by title, a picture of the screen
# (window.png, to look at its English captions).
tool=$1 work=$2
env -u QT_QPA_PLATFORM LANG=C.UTF-8 HOME="$work" "$tool" &
pid=$!
found=""
for _ in $(seq 60); do
  found=$(xdotool search --onlyvisible --name '^Pelisto maker by Orvel$' 2>/dev/null | head -1) || true
  [ -n "$found" ] && break
  sleep 0.5
done
sleep 1
command -v import >/dev/null && import -window root "$work/window.png" 2>/dev/null || true
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -n "$found" ]
SCRIPT
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/window.sh" "$root/usr/bin/pelisto-maker" \
  "$work" || fail "the installed tool showed no window"
echo "PASS: package $(basename "$deb")"
