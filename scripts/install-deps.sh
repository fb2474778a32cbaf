#!/usr/bin/env bash
# Installs every Debian package that Tarvik's build, tests and tools need.
# Idempotent: when everything is present it only checks and exits.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  nlohmann-json3-dev uuid-dev libutf8proc-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev
  libssh-dev
  libvterm-dev
  openssh-client openssh-server
  clang libclang-rt-14-dev
  tmux vim less
  python3-paramiko
  libtsm-dev
  libssl-dev libargon2-dev
  qt6-qpa-plugins xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-noto-color-emoji
  desktop-file-utils appstream lintian dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
