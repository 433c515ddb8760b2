#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, builds the product and runs the demonstration against the
# simulated game server. Arguments go to the demo (--minutes N, --dir FOLDER).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zarn-vote-demo
echo
echo "The operator's window and the link to a real game process are on their way; until then this runs"
echo "the voting service headless against a game server simulated in the same process, in virtual time."
echo
exec build/release/tools/demo/zarn-vote-demo "$@"
