#!/usr/bin/env bash
# Writes the site data that the worker's tests clean: Debian's chromium and firefox-esr, headless, visit
# pages on http://127.0.0.1:8601 (with a partitioned iframe of 127.0.0.2), http://127.0.0.2:8602 and
# http://127.0.0.3:8603 that store localStorage, sessionStorage, IndexedDB, Cache Storage and origin-private
# file system entries, and quit cleanly.
# The site stores of the resulting profiles are packed into tests/data/sitedata/:
#   chromium.tar.gz   Default/{Local Storage,Session Storage,IndexedDB,Service Worker/CacheStorage,File System,
#                     WebStorage}
#   firefox.tar.gz    storage/default/, storage/ls-archive.sqlite, storage.sqlite
# Run it again only to refresh the set from newer browsers; the tests use the files as shipped.
set -euo pipefail

cd "$(dirname "$0")/.."
out="tests/data/sitedata"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

for program in chromium firefox-esr; do
    command -v "$program" >/dev/null || {
        echo "$program is not installed" >&2
        exit 1
    }
done

python3 tools/sitedata/browse.py write chromium "$scratch/chromium"
python3 tools/sitedata/browse.py write firefox "$scratch/firefox"

pack() { # archive folder items...
    local archive="$1" folder="$2"
    shift 2
    tar -C "$folder" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf - "$@" |
        gzip -n -9 >"$archive"
}
mkdir -p "$out"
pack "$out/chromium.tar.gz" "$scratch/chromium" \
    "Default/Local Storage" "Default/Session Storage" Default/IndexedDB "Default/Service Worker/CacheStorage" \
    "Default/File System" Default/WebStorage
pack "$out/firefox.tar.gz" "$scratch/firefox" storage/default storage/ls-archive.sqlite storage.sqlite
ls -l "$out"
