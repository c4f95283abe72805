#!/usr/bin/env bash
# The program, its manual page and the package built by CMake carry one version.
# Usage: version.sh PROGRAM VERSION PAGE
set -u
program=$("$1" --version)
page=$(grep '^\.TH ' "$3")
status=0
if [ "$program" != "tcalc $2" ]; then
  echo "tcalc --version prints \"$program\", the package is version $2"
  status=1
fi
if [[ $page != *" \"tcalc $2\" "* ]]; then
  echo "the manual page's heading \"$page\" does not name tcalc $2"
  status=1
fi
exit $status
