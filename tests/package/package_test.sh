#!/usr/bin/env bash
# The Debian package as a kiosk gets it. Installs the .deb on this machine with apt-get (so its Depends
# must resolve), checks the installed files, lintian and the systemd user units, runs the installed
# launcher under a private Xvfb in a fresh HOME until the viewer ends by itself, then removes and
# purges the package and looks for anything of it left outside that HOME.
#   bash tests/package/package_test.sh [DEB]    (default: the one scripts/package.sh made)
# Needs root or sudo, and the tools of scripts/deps.sh --package. It refuses to run where skyloom is
# installed already, and purges what it installed even when a check fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() { echo "package test: FAIL: $*" >&2; exit 1; }
checks=0
ok() { checks=$((checks + 1)); echo "ok: $*"; }
phase_start=$SECONDS
phase() { echo "-- $1 ($((SECONDS - phase_start)) s)"; phase_start=$SECONDS; }

if [ $# -ge 1 ]; then
  deb=$1
else
  debs=("${SKYLOOM_PKG_BUILD:-$root/build-pkg}"/skyloom_*.deb)
  [ ${#debs[@]} -eq 1 ] || fail "expected one build-pkg/skyloom_*.deb (bash scripts/package.sh makes it)"
  deb=${debs[0]}
fi
[ -f "$deb" ] || fail "no package $deb (bash scripts/package.sh makes it)"
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if dpkg-query -W skyloom >/dev/null 2>&1; then
  fail "skyloom is installed on this machine; this test installs and purges it: purge it first"
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/skyloom-package-test.XXXXXX")
xvfb_pid=""
installed=false
cleanup() {
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true; }
  if $installed; then $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq skyloom >/dev/null 2>&1 || true; fi
  rm -rf -- "$tmp"
}
trap cleanup EXIT

# What of ours a removal could leave: every path the package holds, and anything named like its files
# in the system's directories (before and after, so that other copies of Skyloom do not count).
mapfile -t package_paths < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/*$')
named_like_ours() {
  find /etc /opt /srv /usr /var -xdev \( -iname '*skyloom*' -o -name 'update_data.sh*' -o -name 'kiosk.conf*' \) \
    -print 2>/dev/null | sort
}
named_like_ours > "$tmp/named.before"
for p in "${package_paths[@]}"; do [ -e "$p" ] && echo "$p"; done > "$tmp/existing.before"

# ---- install ------------------------------------------------------------------------------------
installed=true
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" > "$tmp/install.log" 2>&1 ||
  { tail -n 20 "$tmp/install.log" >&2; fail "apt-get install $deb failed"; }
ok "apt-get install $(basename "$deb")"
phase "installed"

# ---- installed files ----------------------------------------------------------------------------
owned=$(dpkg -L skyloom)
expected=(
  /usr/bin/skyloom /usr/bin/skyloom-ingest /usr/bin/skyloom-sample-forecast /usr/bin/skyloom-kiosk
  /usr/share/skyloom/update_data.sh /usr/share/skyloom/frames_to_video.sh
  /usr/lib/systemd/user/skyloom.service /usr/lib/systemd/user/skyloom-update.service
  /usr/lib/systemd/user/skyloom-update.timer
  /etc/skyloom/kiosk.conf /usr/share/doc/skyloom/copyright /usr/share/doc/skyloom/changelog.gz
)
for page in skyloom skyloom-ingest skyloom-sample-forecast skyloom-kiosk update_data.sh; do
  expected+=("/usr/share/man/man1/$page.1.gz")
done
for f in "$root"/data/*; do expected+=("/usr/share/skyloom/${f##*/}"); done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<< "$owned" && [ -f "$f" ] || fail "$f is not installed by the package"
done
for f in "$root"/data/* "$root"/scripts/update_data.sh "$root"/scripts/frames_to_video.sh; do
  cmp -s "$f" "/usr/share/skyloom/${f##*/}" || fail "/usr/share/skyloom/${f##*/} differs from ${f#"$root"/}"
done
ok "${#expected[@]} files installed; data and scripts as in the source tree"

for program in skyloom skyloom-ingest skyloom-sample-forecast skyloom-kiosk; do
  # Run from the installed path with nothing else on PATH: the binaries find their libraries.
  env -i PATH=/usr/bin:/bin "/usr/bin/$program" --help > "$tmp/help.txt" 2>&1 ||
    fail "/usr/bin/$program --help failed: $(head -n 3 "$tmp/help.txt")"
  grep -qi "^usage: $program" "$tmp/help.txt" || fail "/usr/bin/$program --help printed no usage line"
done
for program in skyloom skyloom-ingest skyloom-sample-forecast; do
  file -L "/usr/bin/$program" | grep -q ', stripped' || fail "/usr/bin/$program is not stripped"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in curl libglut libnetcdf libeccodes; do
  grep -q "\b$d" <<< "$depends" || fail "Depends lacks $d: $depends"
done
ok "installed programs run; binaries stripped; Depends: $depends"

# ---- lintian ------------------------------------------------------------------------------------
lintian_rc=0
lintian --fail-on error "$deb" > "$tmp/lintian.txt" 2>&1 || lintian_rc=$?
grep -v 'running with root privileges' "$tmp/lintian.txt" || true
[ "$lintian_rc" -eq 0 ] && ! grep -q '^E: ' "$tmp/lintian.txt" || fail "lintian reports errors"
ok "lintian: no errors"
phase "files and lintian checked"

# ---- systemd units ------------------------------------------------------------------------------
units=(/usr/lib/systemd/user/skyloom.service /usr/lib/systemd/user/skyloom-update.service
       /usr/lib/systemd/user/skyloom-update.timer)
mkdir -m 700 "$tmp/runtime"
# Unknown keys and bad values are only warnings to verify: any output fails. The Documentation=
# pages are looked up below with man -w, which (unlike verify's own check) leaves no formatted copy
# in man's cache.
verify_rc=0
XDG_RUNTIME_DIR=$tmp/runtime systemd-analyze --user --man=no verify "${units[@]}" > "$tmp/verify.txt" 2>&1 ||
  verify_rc=$?
[ "$verify_rc" -eq 0 ] && [ ! -s "$tmp/verify.txt" ] || { cat "$tmp/verify.txt" >&2; fail "systemd-analyze verify"; }
for doc in $(grep -h '^Documentation=' "${units[@]}" | sed 's/^Documentation=//' | tr ' ' '\n' | sort -u); do
  [[ $doc =~ ^man:([^()]+)\(([0-9])\)$ ]] || fail "unexpected Documentation= entry $doc"
  man -w "${BASH_REMATCH[2]}" "${BASH_REMATCH[1]}" >/dev/null 2>&1 || fail "Documentation=$doc: no such manual page"
done
ok "systemd-analyze --user verify: ${units[*]##*/}; their manual pages exist"

# ---- the launcher, as skyloom.service runs it, in a fresh HOME -----------------------------------
home=$tmp/home
mkdir -p "$home/.config/skyloom"
# The user's settings win over /etc/skyloom/kiosk.conf: a window, and an end 18 s after the start
# instead of the daily restart at a clock time.
printf '%s\n' 'SKYLOOM_OPTIONS="-window -k+0.005"' 'SKYLOOM_RESTART_AT=""' > "$home/.config/skyloom/kiosk.conf"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3> "$tmp/display" > /dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do  # Xvfb writes its display number once it accepts connections
  grep -q '^[0-9]' "$tmp/display" 2>/dev/null && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended at start"
  sleep 0.1
done
grep -q '^[0-9]' "$tmp/display" || fail "Xvfb gave no display within 20 s"
display=:$(head -n 1 "$tmp/display")

rc=0
env -i HOME="$home" PATH=/usr/bin:/bin DISPLAY="$display" TMPDIR="$tmp" TZ=UTC LANG=C.UTF-8 \
  SKYLOOM_FRAME_FILE="$tmp/frames" timeout 300 /usr/bin/skyloom-kiosk > "$tmp/viewer.log" 2>&1 || rc=$?
[ "$rc" -ne 124 ] || { tail -n 20 "$tmp/viewer.log" >&2; fail "the viewer did not end by itself within 300 s"; }
[ "$rc" -eq 0 ] || { tail -n 20 "$tmp/viewer.log" >&2; fail "skyloom-kiosk exited with status $rc"; }
frames=$(cat "$tmp/frames" 2>/dev/null || echo 0)
[ "$frames" -ge 20 ] || { tail -n 20 "$tmp/viewer.log" >&2; fail "the viewer drew $frames frames"; }
work=$home/.local/share/skyloom
for f in /usr/share/skyloom/*; do
  [ "$(readlink "$work/${f##*/}")" = "$f" ] || fail "$work/${f##*/} is not a link to $f"
done
[ "$(head -c 3 "$work/forecast.nc")" = CDF ] || fail "$work/forecast.nc is not a netCDF file"
grep -q 'wrote the sample forecast' "$tmp/viewer.log" || fail "no sample forecast was written"
ok "skyloom-kiosk prepared $work, drew $frames frames on the sample forecast and ended by itself"
kill "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""
phase "launcher ran"

# ---- remove, purge, and nothing left --------------------------------------------------------------
$sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y skyloom > "$tmp/remove.log" 2>&1 ||
  { tail -n 20 "$tmp/remove.log" >&2; fail "apt-get remove"; }
$sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y skyloom > "$tmp/purge.log" 2>&1 ||
  { tail -n 20 "$tmp/purge.log" >&2; fail "apt-get purge"; }
installed=false
! dpkg-query -W skyloom >/dev/null 2>&1 || fail "dpkg still knows skyloom after the purge"
for p in "${package_paths[@]}"; do
  [ ! -e "$p" ] || grep -qxF "$p" "$tmp/existing.before" || fail "$p is left after the purge"
done
named_like_ours > "$tmp/named.after"
left=$(comm -13 "$tmp/named.before" "$tmp/named.after")
[ -z "$left" ] || fail "left after the purge: $left"
ok "apt-get remove and purge leave nothing of the package"
phase "removed"
echo "package test: $checks checks passed"
