#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo disc and starts VarnelCD. On a machine
# without a CD drive the demo disc is offered as a drive. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -- varnelcd varnelcd-cli make-test-disc

demo=build/demo/demo.cue
if [ ! -f "$demo" ] || [ build/make-test-disc -nt "$demo" ]; then
  mkdir -p build/demo
  build/make-test-disc --demo --out build/demo/demo
fi

args=()
if ! compgen -G "/dev/sr*" >/dev/null && [ ! -e /dev/cdrom ]; then
  echo "No CD drive here: offering the demo disc ($demo) as a drive."
  args+=(--disc-image "$demo")
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found. To see the window without one: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/varnelcd "${args[@]}" "$@"
