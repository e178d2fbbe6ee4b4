#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the program and the tests need
# and this machine does not have yet. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libcurl4-openssl-dev libssh2-1-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
  libssl-dev openssl apache2-utils apache2 python3 python3-pyftpdlib
  xvfb xauth clang-format
  libcrypt-dev libsodium-dev nginx-light lighttpd vsftpd openssh-server openssh-client python3-asyncssh curl
  locales
  lintian appstream librsvg2-bin dpkg-dev fakeroot man-db bash-completion qt6-l10n-tools qt6-tools-dev-tools
  qt6-tools-dev qt6-translations-l10n
  shared-mime-info libglib2.0-bin systemd
  devscripts clang-tidy
  libsqlite3-dev libpq-dev libldap-dev postgresql slapd ldap-utils
  libaprutil1-dbd-sqlite3 libaprutil1-dbd-pgsql libaprutil1-ldap lighttpd-modules-dbi libdbd-sqlite3
  lighttpd-modules-ldap
  caddy haproxy docker-registry prometheus-node-exporter mosquitto mosquitto-clients dovecot-core
  libpam-pwdfile pamtester radicale python3-yaml
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
