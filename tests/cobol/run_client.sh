#!/bin/sh
# Compiles the COBOL client and runs it against the D15O37.so of a build tree.
#   run_client.sh COBC LIBRARY_DIR SOURCE
# The client exits nonzero when a sort gives back anything but what it
# expects. ZARA_CLIENT_PRELOAD, when set, is preloaded into the client (the
# sanitizer run-time of an instrumented build).
set -eu
cobc=$1
library_dir=$2
source=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cobc" -x -free -o "$work/sortclient" "$source"
cd "$work"  # the sort's work files land here
if [ -n "${ZARA_CLIENT_PRELOAD:-}" ]; then
  LD_PRELOAD=$ZARA_CLIENT_PRELOAD COB_LIBRARY_PATH=$library_dir ./sortclient
else
  COB_LIBRARY_PATH=$library_dir ./sortclient
fi
