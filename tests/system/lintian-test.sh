#!/bin/sh
# lintian on the built packages: no error and no warning (overrides in debian/ say why).
# Usage: lintian-test.sh PACKAGE-DIR   Exit status: 0 clean, 1 not, 77 skipped.
set -eu
if ! command -v lintian >/dev/null 2>&1; then
  echo "SKIPPED: lintian is not installed (scripts/bootstrap.sh installs it)"
  exit 77
fi
if ! ls "$1"/*.deb >/dev/null 2>&1; then
  echo "SKIPPED: no packages in $1 (scripts/package.sh did not run)"
  exit 77
fi
lintian --fail-on error,warning --display-info "$1"/*.deb
