#!/usr/bin/env bash
# Builds the browser version (scripts/build-web.sh) and serves it on
# 127.0.0.1 until interrupted; open the printed address in a browser.
# Any static web server will do as well: unzip build-web/brass_tide-web.zip
# and serve its folder.
set -euo pipefail
cd "$(dirname "$0")/.."
port=${BT_WEB_PORT:-8000}
scripts/build-web.sh
echo "play-web: open http://127.0.0.1:$port/ (Ctrl-C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
