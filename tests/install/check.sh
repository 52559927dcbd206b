#!/bin/sh
# Installs the build into a scratch prefix and builds the two example
# consumers against it: one through find_package, one through pkg-config.
set -e
build_dir=$1
source_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
test -f "$scratch/prefix/share/man/man1/zara-sort.1"
printf 'pear\nApple\nfig\n' > "$scratch/in.txt"

cp -r "$source_dir/examples" "$scratch/examples"
cmake -S "$scratch/examples/cmake-consumer" -B "$scratch/cmake" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
(cd "$scratch" && LD_LIBRARY_PATH="$scratch/prefix/lib" ./cmake/sort_words in.txt out1.txt)
printf 'Apple\nfig\npear\n' | cmp - "$scratch/out1.txt"

PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" make -s -C "$scratch/examples/pkgconfig-consumer" >/dev/null
(cd "$scratch" && ./examples/pkgconfig-consumer/sort_words in.txt out2.txt)
cmp "$scratch/out1.txt" "$scratch/out2.txt"
"$scratch/prefix/bin/zara-sort" --help | grep -q "usage: zara-sort"
echo "install check passed"
