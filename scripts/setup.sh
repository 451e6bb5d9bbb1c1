#!/usr/bin/env bash
# Installs the Debian packages the build needs that are not installed yet.
#   scripts/setup.sh run    what building and running the program needs
#   scripts/setup.sh test   that, plus what the tests need (X server, tools)
#   scripts/setup.sh bench  that, plus wrk, curl, PostgreSQL and HAProxy for the back-end's load
#                           measurement
#   scripts/setup.sh cluster  that, plus PostgreSQL and HAProxy (scripts/backend-cluster.sh)
#   scripts/setup.sh fuzz   what building the fuzz targets needs (clang and libFuzzer)
#   scripts/setup.sh package  that, plus what building and checking the Debian package needs
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config ca-certificates
  libcurl4-openssl-dev libssl-dev nlohmann-json3-dev libjsoncpp-dev libspdlog-dev
  libxerces-c-dev xsdcxx libstb-dev
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev qt6-qpa-plugins
  libx11-dev libxcb1-dev libxcb-keysyms1-dev libxcb-shm0-dev xdg-utils fonts-noto-cjk
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  libsqlite3-dev libqrencode-dev libboost-dev libtesseract-dev libpqxx-dev
  # models of the local OCR engine, read at run time
  tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-sim-vert tesseract-ocr-chi-tra
  tesseract-ocr-chi-tra-vert tesseract-ocr-jpn tesseract-ocr-jpn-vert tesseract-ocr-kor
  tesseract-ocr-kor-vert tesseract-ocr-por tesseract-ocr-spa tesseract-ocr-fra tesseract-ocr-rus
)
packaging_packages=(dpkg-dev desktop-file-utils appstream)
test_packages=(xvfb xauth xdotool x11-utils x11-xserver-utils trayer openssl imagemagick openbox
  dbus python3-gi sway xdg-desktop-portal xdg-desktop-portal-wlr pipewire wireplumber grim
  postgresql-15 "${packaging_packages[@]}")

fuzz_packages=(clang-14 libclang-rt-14-dev)
bench_packages=(wrk curl tesseract-ocr postgresql-15 haproxy)
cluster_packages=(postgresql-15 haproxy curl)

wanted=("${build_packages[@]}")
case "${1:-run}" in
  test) wanted+=("${test_packages[@]}") ;;
  bench) wanted+=("${bench_packages[@]}") ;;
  cluster) wanted+=("${cluster_packages[@]}") ;;
  fuzz) wanted+=("${fuzz_packages[@]}") ;;
  package) wanted+=("${packaging_packages[@]}") ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
