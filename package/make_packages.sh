#!/usr/bin/env bash
# Makes the two release archives from finished builds (./run package builds first, then runs this):
#   DIST/varneltiff-VERSION-win32.zip           varneltiff.dll, varneltiff.exe, README-ja.txt
#       (Shift-JIS), README-en.txt, LICENSE.txt, SHA256SUMS; text files with CRLF line ends
#   DIST/varneltiff-VERSION-linux-x86_64.tar.gz  one folder with libvarneltiff.so, varneltiff,
#       README-en.txt, LICENSE.txt, SHA256SUMS
#   DIST/SHA256SUMS                              the checksums of the two archives
# The programs are stripped copies: the build trees keep their symbols for debugging the tests.
# Usage: package/make_packages.sh WIN32_BUILD NATIVE_BUILD DIST
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 WIN32_BUILD NATIVE_BUILD DIST" >&2; exit 2; }
win32_build=$(realpath "$1")
native_build=$(realpath "$2")
mkdir -p "$3"
dist=$(realpath "$3")
source_dir=$(realpath "$(dirname "$0")/..")

# The version is the one CMake wrote into each build tree; both builds must be of the same one.
version=$(cat "$win32_build/VERSION")
native_version=$(cat "$native_build/VERSION")
if [ "$native_version" != "$version" ]; then
  echo "the builds disagree on the version: win32 $version, native $native_version" >&2
  exit 1
fi

# Every file gets the time of the last commit (or now, outside a clone), and the archives list
# their files in a fixed order with no owner names, so that they differ only where files do.
epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# text SOURCE TARGET [crlf] [cp932]: a text of the repository with @VERSION@ filled in, with CRLF
# line ends and in Shift-JIS if asked (iconv stops on a character Shift-JIS lacks).
text() {
  local source=$1 target=$2 ends=${3:-lf} encoding=${4:-utf-8} cr=""
  [ "$ends" = crlf ] && cr=$'\r'
  sed -e "s/@VERSION@/$version/g" -e "s/\$/$cr/" "$source" |
    iconv -f UTF-8 -t "$encoding" >"$target"
}

# checksums FOLDER FILE...: SHA256SUMS in the form `sha256sum -c` reads.
checksums() {
  local folder=$1
  shift
  (cd "$folder" && sha256sum -- "$@" >SHA256SUMS)
}

stamp() { find "$1" -exec touch -h -d "@$epoch" {} +; }

# Windows: a flat zip, as a user's "Extract All" makes its own folder.
win32_name="varneltiff-$version-win32"
win32_dir="$stage/$win32_name"
mkdir -p "$win32_dir"
# strip writes a new time stamp into a PE header: the commit's, not the clock's.
for program in varneltiff.dll varneltiff.exe; do
  SOURCE_DATE_EPOCH=$epoch i686-w64-mingw32-strip --strip-all -o "$win32_dir/$program" \
    "$win32_build/bin/$program"
done
text "$source_dir/package/README-ja.txt" "$win32_dir/README-ja.txt" crlf CP932
text "$source_dir/package/README-en.txt" "$win32_dir/README-en.txt" crlf
text "$source_dir/LICENSE" "$win32_dir/LICENSE.txt" crlf
win32_files=(varneltiff.dll varneltiff.exe README-ja.txt README-en.txt LICENSE.txt)
checksums "$win32_dir" "${win32_files[@]}"
stamp "$win32_dir"
zip_file="$dist/$win32_name.zip"
rm -f "$zip_file"
(cd "$win32_dir" && TZ=UTC zip -q -X -D "$zip_file" "${win32_files[@]}" SHA256SUMS)

# Linux: one folder in the tarball, the custom there.
native_name="varneltiff-$version-linux-x86_64"
native_dir="$stage/$native_name"
mkdir -p "$native_dir"
strip --strip-all -o "$native_dir/libvarneltiff.so" "$native_build/bin/libvarneltiff.so"
strip --strip-all -o "$native_dir/varneltiff" "$native_build/bin/varneltiff"
chmod 0644 "$native_dir/libvarneltiff.so"
chmod 0755 "$native_dir/varneltiff"
text "$source_dir/package/README-en.txt" "$native_dir/README-en.txt"
text "$source_dir/LICENSE" "$native_dir/LICENSE.txt"
native_files=(libvarneltiff.so varneltiff README-en.txt LICENSE.txt)
checksums "$native_dir" "${native_files[@]}"
stamp "$native_dir"
tar_file="$dist/$native_name.tar.gz"
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" -C "$stage" -cf - \
  "$native_name" | gzip -9n >"$tar_file"

# The archives' own checksums, beside them, for whoever downloads one.
(cd "$dist" && sha256sum -- "$win32_name.zip" "$native_name.tar.gz" >SHA256SUMS)

echo "$zip_file"
echo "$tar_file"
