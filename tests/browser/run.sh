#!/usr/bin/env bash
# The panel's browser test: installs its npm packages (playwright-core only, never a
# browser) when the lock file changed, then drives the system's Chromium.
#   tests/browser/run.sh FINS_HOST FINS_PLCSIM
# Exits 77 (skipped) when Chromium is not installed.
set -euo pipefail
cd "$(dirname "$0")"
export FINS_HOST=$1 FINS_PLCSIM=$2
export CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1
if [[ ! -x $CHROMIUM ]]; then
  echo "browser test skipped: no Chromium at $CHROMIUM (scripts/setup.sh installs it)"
  exit 77
fi
if [[ ! -f node_modules/.package-lock.json || package-lock.json -nt node_modules/.package-lock.json ]]; then
  npm ci --no-audit --no-fund
fi
exec node --test panel.test.mjs
