#!/usr/bin/env bash
# Installs a built package into a throw-away root and checks it as an
# administrator would: nothing writable by group or others, the file list,
# the programs' hardening (PIE, RELRO with BIND_NOW, stack protector,
# fortified calls), the installed programs' --version, the desktop entry, the
# AppStream metainfo, the manual pages, and lintian (no errors; warnings are
# listed).
#   packaging/check-package.sh caldris_1.5.0-1_amd64.deb
set -euo pipefail
case "${1:-}" in -h|--help|"") echo "usage: check-package.sh PACKAGE.deb"; [ -n "${1:-}" ]; exit ;; esac
deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Recommends\|Maintainer\):/  \1:/p'
dpkg -x "$deb" "$root"

fail() { echo "check-package: $*" >&2; exit 1; }
# Nothing anyone but root may write (the root folder of the archive
# included): a writable folder would let its group replace what it holds.
writable="$(find "$root" \( -perm -g+w -o -perm -o+w \) ! -type l)"
[ -z "$writable" ] || fail "files or folders writable by group or others:
$writable"

expected="/etc/caldris/CALDRIS.INI
/usr/bin/caldris
/usr/bin/caldris-case
/usr/share/applications/caldris.desktop
/usr/share/doc/caldris/changelog.Debian.gz
/usr/share/doc/caldris/copyright
/usr/share/icons/hicolor/128x128/apps/caldris.png
/usr/share/icons/hicolor/48x48/apps/caldris.png
/usr/share/man/man1/caldris-case.1.gz
/usr/share/man/man1/caldris.1.gz
/usr/share/metainfo/org.caldris.Caldris.metainfo.xml"
actual="$(cd "$root" && find . -type f -o -type l | sed 's/^\.//' | LC_ALL=C sort)"
if [ "$actual" != "$expected" ]; then
  echo "check-package: unexpected file list:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
# Built with Debian's hardening flags: the programs read files and network replies.
for program in caldris caldris-case; do
  # Whole outputs first: "grep -q" on a pipe could end readelf early under pipefail.
  headers="$(readelf -hldW "$root/usr/bin/$program")"
  symbols="$(readelf --dyn-syms -W "$root/usr/bin/$program")"
  grep -q 'Type:.*DYN' <<<"$headers" || fail "$program is not position independent (PIE)"
  grep -q 'GNU_RELRO' <<<"$headers" || fail "$program has no RELRO segment"
  grep -Eq 'BIND_NOW|FLAGS.*[[:space:]]NOW' <<<"$headers" || fail "$program is not linked with BIND_NOW"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
  grep -Eq '__[a-z_]+_chk(@| )' <<<"$symbols" || fail "$program uses no fortified calls"
done
[ "$(dpkg-deb -f "$deb" Package)" = caldris ] || { echo "check-package: wrong package name" >&2; exit 1; }
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/caldris/CALDRIS.INI ||
  { echo "check-package: /etc/caldris/CALDRIS.INI is not a conffile" >&2; exit 1; }

"$root/usr/bin/caldris-case" --version
QT_QPA_PLATFORM=offscreen "$root/usr/bin/caldris" --version
desktop-file-validate "$root/usr/share/applications/caldris.desktop"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.caldris.Caldris.metainfo.xml" >/dev/null
for page in caldris caldris-case; do
  out="$(MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$out" ] || { echo "check-package: man -l $page.1.gz: $out" >&2; exit 1; }
done

if command -v lintian >/dev/null 2>&1; then
  lintian --tag-display-limit 0 "$deb" | tee "$root/lintian.txt" || true
  if grep -q '^E:' "$root/lintian.txt"; then
    echo "check-package: lintian reports errors" >&2
    exit 1
  fi
fi
echo "check-package: $(basename "$deb") is fine"
