#!/usr/bin/env bash
# Optional third command: install what is needed, build, make the Debian
# package (build/twinlane_<version>_<arch>.deb), check it with lintian and
# install it on this machine (apt-get pulls its dependencies).
#
#   scripts/package.sh [--no-build] [--no-install] [BUILD_DIR, default build]
#
# --no-build packs an existing build tree as it is (scripts/package-test.sh).
# The path of the package is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
do_build=1
do_install=1
for arg in "$@"; do
  case $arg in
    --no-build) do_build=0 ;;
    --no-install) do_install=0 ;;
    -*) echo "usage: $0 [--no-build] [--no-install] [build dir]" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done
((EUID == 0 || !do_install)) || { echo "package.sh: installing needs root" >&2; exit 1; }

if ((do_build)); then
  bash scripts/install-deps.sh
  bash scripts/build.sh "$build"
fi
# CPack installs the whole tree into a staging folder; stale packages of an
# older version would be mistaken for this one.
rm -f "$build"/twinlane_*.deb
(cd "$build" && cpack -G DEB) >&2
debs=("$build"/twinlane_*.deb)
deb=$(realpath "${debs[0]}")
# Errors fail; the warnings kept are listed in the README.
lintian --fail-on error --tag-display-limit 0 "$deb" >&2
if ((do_install)); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" >&2
fi
echo "$deb"
