#!/bin/sh
# run_client.sh COBC LIBRARY_DIR SOURCE: builds the client, runs it on LIBRARY_DIR's D15O37.so.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" -x -free -o "$work/sortclient" "$3"
cd "$work"  # the sort's work files land here
LD_PRELOAD=${ZARA_CLIENT_PRELOAD:-} COB_LIBRARY_PATH=$2 ./sortclient
