#!/usr/bin/env bash
# The browser stage: a build's inspector page in headless chromium, held to
# the same build's vantrel-dump.  Installs what it lacks: chromium, node and
# npm from Debian, playwright-core from npm into the work folder (it drives
# the installed chromium and downloads no browser).
# Exits 0 when the tests pass, 1 when they fail, and 77, saying why, when
# they cannot run here.
# Usage: web/tests/run.sh BUILD_DIR WORK_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
skip() { echo "browser tests skipped: $*"; exit 77; }

[[ -f $build/web/vantrel-inspect.html ]] ||
    skip "$build has no web/vantrel-inspect.html (no clang for wasm32 or no wasm-ld when it was configured)"

missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]} != 0)); then
    echo "=== installing ${missing[*]}"
    sudo=()
    ((EUID == 0)) || sudo=(sudo -n)
    { "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            -o DPkg::Lock::Timeout=300 "${missing[@]}"; } >"$work/apt.log" 2>&1 ||
        { tail -5 "$work/apt.log"; skip "could not install ${missing[*]}"; }
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
((node_major >= 20)) || skip "node $(node --version) is older than 20, which playwright-core needs"

# playwright-core as the lock file pins it, installed again only when the
# lock file changed.
deps=$work/node
mkdir -p "$deps"
if ! cmp -s web/tests/package-lock.json "$deps/package-lock.json" || [[ ! -d $deps/node_modules/playwright-core ]]; then
    cp web/tests/package.json web/tests/package-lock.json "$deps/"
    (cd "$deps" && npm ci --no-audit --no-fund --loglevel=error) >"$work/npm.log" 2>&1 ||
        { tail -5 "$work/npm.log"; skip "npm could not install playwright-core"; }
fi

VANTREL_SOURCE=$PWD VANTREL_BUILD=$build VANTREL_WORK=$work VANTREL_NODE_MODULES=$deps \
    node --test --test-reporter=spec web/tests/inspect.test.cjs || exit 1
echo "screenshots: $work/screenshots"
