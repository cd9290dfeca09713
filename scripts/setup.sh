#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need, on
# Debian 12 (a minimal installation is enough), as root or as a user who may
# use sudo. Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  wine wine64 wine32:i386
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++                       # host tools built during the build (the SZDD packer)
  cmake ninja-build
  xvfb xauth xdotool x11-utils imagemagick
  libgtest-dev
  locales mscompress
  fonts-wine                # Wine's own fonts: Tahoma, and Marlett for the caption buttons
  fonts-wqy-microhei        # Chinese, Japanese and Korean texts
  python3 clang-format
  osslsigncode openssl      # signing the program
  fp-utils                  # chmcmd: compiled help files
)

# Wine takes the UI language from the Linux locale, and only from generated
# ones: one locale per language the program speaks.
locales=(zh_TW de_DE en_US fr_FR it_IT ja_JP ko_KR nl_NL pl_PL pt_BR ru_RU zh_CN es_ES)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
  fi
  # sudo resets the environment: the frontend setting goes through env.
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for loc in "${locales[@]}"; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
    "${as_root[@]}" localedef -i "$loc" -f UTF-8 "${loc}.UTF-8"
  fi
done
