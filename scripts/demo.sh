#!/usr/bin/env bash
# Sets up, builds, and runs the demo script through the embedded host.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
"$root/build/host/lyr-host" "$root/examples/demo.lyr"
