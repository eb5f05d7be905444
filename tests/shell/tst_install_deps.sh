set -eu
dir=$(mktemp -d) && mkdir "$dir/bin"
trap 'rm -rf "$dir"' EXIT
fake() { printf '#!/bin/sh\n%s\n' "$2" >"$dir/bin/$1" && chmod +x "$dir/bin/$1"; }
fake sudo 'exec "$@"'
fake dpkg "echo \"dpkg \$*\" >>$dir/calls; [ \"\$1\" = --configure ] && touch $dir/configured
[ \"\$1\" = --audit ] && [ ! -e $dir/configured ] && echo 'cmake: half-configured'; exit 0"
fake dpkg-query "shift 2; for p; do [ \$p = cmake ] && [ ! -e $dir/installed ] || echo \$p install ok installed; done"
fake apt-get "[ -e $dir/configured ] || { echo 'dpkg was interrupted'; exit 100; }
echo \"apt-get \$1\" >>$dir/calls; [ \"\$1\" = install ] && touch $dir/installed; seq 300"
run() { PATH="$dir/bin:$PATH" QRN_INSTALL_LOG="$dir/log" bash "$(dirname "$0")/../../scripts/install-deps"; }

out=$(run)
[ "$(grep -v -e --audit "$dir/calls" | tr '\n' ,)" = "dpkg --configure -a,apt-get update,apt-get install," ]
[ "$(printf '%s\n' "$out" | wc -l)" -eq 4 ] && printf '%s' "$out" | grep -q "$dir/log"
grep -qx 300 "$dir/log"
[ -z "$(run)" ]
