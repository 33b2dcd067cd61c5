#!/usr/bin/env bash
# Lessonry set-up on a Debian machine: installs what is missing, configures and
# builds, then runs what was asked for.
#
#   ./setup.sh run     install, build, and record the demo into the program folder
#   ./setup.sh test    install, build, and run every test
#   ./setup.sh build   install and build only
#
# Environment: BUILD_DIR (default build), LESSONRY_SANITIZE (address|thread).
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
build_dir=${BUILD_DIR:-build}

packages=(
  build-essential cmake ninja-build pkg-config
  libx264-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils libx11-dev libxext-dev libxfixes-dev
  libopencv-core-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B "$build_dir" -G Ninja -DLESSONRY_SANITIZE="${LESSONRY_SANITIZE:-}" >/dev/null
cmake --build "$build_dir"

# As an installer would: register the component servers of the program folder
# in the user's registry file (LESSONRY_REGISTRY overrides where it lives).
for server in "$build_dir"/Lessonry/libPinworks.so "$build_dir"/Lessonry/libOxSource.so; do
  if [ -f "$server" ]; then
    "$build_dir/Lessonry/lessonry-regsvr" "$server" >/dev/null
  fi
done

case "$mode" in
  build) ;;
  run)
    "$build_dir/Lessonry/LessonryDemo"
    ;;
  test)
    # Fewer parallel tests than cores: encoder tests start threads of their own.
    ctest --test-dir "$build_dir" --output-on-failure -j 2
    ;;
  *)
    echo "usage: $0 [run|test|build]" >&2
    exit 2
    ;;
esac
