#!/bin/sh
# Installs build $1 into a scratch prefix: the find_package and pkg-config consumers of examples/ (in
# source tree $2) must build against it and sort alike.
set -e
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$1" --prefix "$scratch/prefix" >/dev/null
cp -r "$2/examples" "$scratch/examples"
cmake -S "$scratch/examples/cmake-consumer" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" make -s -C "$scratch/examples/pkgconfig-consumer" >/dev/null
cd "$scratch"
printf 'pear\nApple\nfig\n' > in.txt
LD_LIBRARY_PATH="$scratch/prefix/lib" ./cmake/sort_words in.txt out1.txt
./examples/pkgconfig-consumer/sort_words in.txt out2.txt
printf 'Apple\nfig\npear\n' | cmp - out1.txt
cmp out1.txt out2.txt
