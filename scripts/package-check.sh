#!/usr/bin/env bash
# Builds the Debian package, installs it, runs the installed program, and
# removes it again. Needs root (or sudo) for dpkg.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi

(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls -t "$build"/tavorline_*.deb | head -n 1)
echo "package: $(basename "$package")"

if dpkg-query -W -f='${Status}' tavorline 2>/dev/null | grep -q "install ok installed"; then
    echo "tavorline is already installed here; not touching it" >&2
    exit 1
fi
"${sudo_cmd[@]}" dpkg -i "$package" >/dev/null
trap '"${sudo_cmd[@]}" dpkg -r tavorline >/dev/null 2>&1 || true' EXIT

/usr/bin/tavorline --help | head -n 1
/usr/bin/tavorline --version
for file in /usr/share/applications/tavorline.desktop /etc/xdg/autostart/tavorline.desktop \
            /usr/lib/systemd/user/tavorline.service; do
    [[ -f "$file" ]] || { echo "missing after install: $file" >&2; exit 1; }
done
# The loader's list is larger than a pipe's buffer: grep -q would stop reading
# early and pipefail would report ldconfig's SIGPIPE as a missing library.
loader_list=$(ldconfig -p)
grep -q libVornLib.so <<<"$loader_list" || { echo "libVornLib.so not found by the loader" >&2; exit 1; }

"${sudo_cmd[@]}" dpkg -r tavorline >/dev/null
trap - EXIT
if [[ -e /usr/bin/tavorline ]]; then
    echo "the program is still there after removal" >&2
    exit 1
fi
echo "installed, ran and removed cleanly"
