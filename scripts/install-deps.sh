#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libncurses-dev libsqlite3-dev sqlite3 libpq-dev postgresql libcairo2-dev fonts-dejavu-core
  libcsv-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev tmux poppler-utils python3
  dpkg-dev man-db groff-base
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
