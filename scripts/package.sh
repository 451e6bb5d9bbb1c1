#!/usr/bin/env bash
# Builds the Debian package build/package/velmora-translator_<version>_amd64.deb from the default
# build (program, velmora-cli, velmora-backend), with CPack. Install it with
#   sudo apt install ./build/package/velmora-translator_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh package
cmake --preset default >/dev/null
cmake --build build -j2 --target velmora-translator velmora-cli velmora-backend
rm -rf build/package
cpack --config build/CPackConfig.cmake -B build/package
rm -rf build/package/_CPack_Packages
deb=$(ls build/package/velmora-translator_*.deb)
desktop-file-validate packaging/net.velmora.Translator.desktop
appstreamcli validate --no-net build/packaging/net.velmora.Translator.metainfo.xml
echo "package: $deb"
