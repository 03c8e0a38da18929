#!/bin/sh
# Folders for the export tests that a test program cannot make for itself (under Wine least of
# all): a 256 KiB disk that fills up, a folder where no file can be made, holding "kept.tif", and
# "special_files": a FIFO, a symbolic link "link.tif" to "linked.tif", and the devices "null" and
# "full" (character devices 1,3 and 1,7, made only by root, where the file system lets them work).
# As root both are tmpfs mounts, the second mounted read-only (root ignores permissions);
# otherwise there is no small disk and the folder is closed by its permissions alone. The tests
# skip, with a message, what is missing or cannot bite.
#   scratch_folders.sh setup|cleanup FOLDER
set -u
action=$1
base=$2
small=$base/small_disk
locked=$base/locked_folder
special=$base/special_files

release() {
  for folder in "$small" "$locked"; do
    if mountpoint -q "$folder" 2>/dev/null; then umount "$folder" || return 1; fi
    [ -d "$folder" ] && chmod u+w "$folder"
  done
  rm -rf "$base"
}

case $action in
setup)
  release || exit 1
  mkdir -p "$small" "$locked" || exit 1
  if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k,mode=0755 varneltiff-small "$small" &&
    mount -t tmpfs -o size=64k,mode=0755 varneltiff-locked "$locked"; then
    printf 'an existing file' >"$locked/kept.tif" && mount -o remount,ro "$locked" || exit 1
  else
    mountpoint -q "$small" && umount "$small"
    rmdir "$small"
    echo "no tmpfs mounts (they need root): no small disk"
    printf 'an existing file' >"$locked/kept.tif" && chmod a-w "$locked" || exit 1
  fi
  mkdir -p "$special" && mkfifo "$special/fifo" && ln -s linked.tif "$special/link.tif" &&
    printf 'an existing file' >"$special/linked.tif" || exit 1
  if ! { [ "$(id -u)" -eq 0 ] && mknod "$special/null" c 1 3 && mknod "$special/full" c 1 7 &&
    : >"$special/null"; } 2>/dev/null; then
    rm -f "$special/null" "$special/full"
    echo "no device nodes (they need root and a file system that allows them)"
  fi
  ;;
cleanup) release ;;
*)
  echo "usage: scratch_folders.sh setup|cleanup FOLDER" >&2
  exit 2
  ;;
esac
