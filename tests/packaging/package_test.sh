#!/usr/bin/env bash
# The Debian package of the built tree: made by cpack in a folder of its own,
# unpacked into a temporary root, and checked there. Exactly the files a user
# needs (no tests, benchmarks, headers or libraries), Depends found by
# dpkg-shlibdeps, one version everywhere, programs that run from the root,
# metadata that validates as installed, and lintian without errors or
# warnings (when lintian is installed; scripts/setup-deps.sh --tests does).
#   package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >cpack.log 2>&1); then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb="$work/reelmill_${version}_$(dpkg --print-architecture).deb"
[[ -f $deb ]] || { echo "FAIL: no $deb"; ls "$work"; exit 1; }
root=$work/root
dpkg-deb -x "$deb" "$root" || exit 1

expected="usr/bin/reelmill
usr/bin/reelmill-convert
usr/share/applications/org.reelmill.reelmill.desktop
usr/share/bash-completion/completions/reelmill
usr/share/bash-completion/completions/reelmill-convert
usr/share/doc/reelmill/changelog.gz
usr/share/doc/reelmill/copyright
usr/share/doc/reelmill/varnle_Reelmill.html
usr/share/icons/hicolor/scalable/apps/reelmill.svg
usr/share/man/man1/reelmill-convert-mux.1.gz
usr/share/man/man1/reelmill-convert.1.gz
usr/share/man/man1/reelmill.1.gz
usr/share/metainfo/org.reelmill.reelmill.metainfo.xml"
files=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
[[ $files == "$expected" ]] || fail "the package's files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$files"))"

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == reelmill ]] || fail "Package is '$(field Package)'"
depends=$(field Depends)
for library in libc6 libqt6widgets6 libgif7 libturbojpeg0; do
  [[ ", $depends," == *", $library "* ]] || fail "Depends does not name $library: $depends"
done
for name in Maintainer Section Homepage Description; do
  [[ -n $(field $name) ]] || fail "no $name field"
done

# One version: CMake's, the package's, both programs', the man pages', the
# metainfo's newest release and the changelog's.
export QT_QPA_PLATFORM=offscreen
declare -A versions=(
  [package]=$(field Version)
  [reelmill-convert]=$("$root/usr/bin/reelmill-convert" --version | sed -n 's/^reelmill-convert //p')
  [reelmill]=$("$root/usr/bin/reelmill" --version | sed -n 's/^reelmill //p')
  [metainfo]=$(grep -m1 -oE '<release version="[^"]*"' "$root/usr/share/metainfo/org.reelmill.reelmill.metainfo.xml" |
    cut -d'"' -f2)
  [changelog]=$(zcat "$root/usr/share/doc/reelmill/changelog.gz" | sed -nE '1s/^reelmill \(([^)]*)\).*/\1/p'))
for page in reelmill reelmill-convert reelmill-convert-mux; do
  versions[$page.1]=$(zcat "$root/usr/share/man/man1/$page.1.gz" | sed -nE 's/^\.TH .* "reelmill(-convert)? ([^"]*)".*/\2/p')
done
for source in "${!versions[@]}"; do
  [[ ${versions[$source]} == "$version" ]] || fail "$source says version '${versions[$source]}', CMake says $version"
done
"$root/usr/bin/reelmill" --help | grep -q '^Usage: reelmill' || fail "the unpacked reelmill --help"

if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net --pedantic --no-color "$root" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$work/appstream.log")"
else
  echo "note: appstreamcli is not installed; the installed metadata was not validated"
fi
if command -v lintian >/dev/null; then
  # Only informational tags may remain (such as hardening flags, which the
  # build of the tests does not use).
  lintian --pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(grep -vx 'running with root privileges is not recommended!' "$work/lintian.log")"
else
  echo "note: lintian is not installed; the package was not checked by it"
fi

[[ $failures -eq 0 ]] && echo "$(basename "$deb"): $(wc -l <<<"$files") files, version $version, all passed"
exit $((failures > 0))
