#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Pelisto maker needs.
# Safe to run again: packages already present are skipped.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ pkg-config clang-format
  # the tool itself
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  libjpeg62-turbo-dev libturbojpeg0-dev
  libpng-dev libgif-dev libtiff-dev
  libgraphicsmagick++1-dev graphicsmagick
  libwmf-dev fonts-urw-base35
  # scaling pictures to a chosen screen size
  libswscale-dev
  # the viewer stubs: Linux (X11, linked static with these libraries' .a files) and Windows
  # (cross-compiled)
  libx11-dev libxcb1-dev libxau-dev libxdmcp-dev libc6-dev libpixman-1-dev
  libx11-xcb-dev libxcb-present-dev
  g++-mingw-w64-x86-64-win32
  # colour profiles
  liblcms2-dev
  # today's phone and web formats: HEIC and AVIF (libheif with its HEVC and AV1 decoders), WebP,
  # JPEG XL
  libheif-dev libde265-0 libdav1d6 libwebp-dev libjxl-dev
  # the video output: H.264 in MP4 through FFmpeg's libraries (Debian's libavcodec brings x264)
  libavformat-dev libavcodec-dev libavutil-dev
  # tests and fixtures
  libgtest-dev libjpeg-turbo-progs imagemagick python3-pil libimage-exiftool-perl
  # LittleCMS's own tools: the references of the colour-profile fixtures
  liblcms2-utils
  # their encoders and reference decoders (heif-enc and heif-convert, cwebp and dwebp, cjxl and
  # djxl)
  libheif-examples webp libjxl-tools
  xvfb xauth xdotool
  # signing Windows slideshows (pelisto-build --sign, the signed save type); openssl makes the
  # tests' certificate. Debian 12 has osslsigncode 2.5; bookworm-backports' 2.9 works alike.
  osslsigncode openssl
  # the GTK file dialog, as GNOME- and Xfce-like desktops show it (a test opens it under Xvfb)
  qt6-gtk-platformtheme
  # the Windows stub's tests only; the tool never needs Wine
  wine wine64
  # the web page's tests: Blink and WebKit driven through WebDriver (never a downloaded browser)
  chromium chromium-driver webkit2gtk-driver python3-selenium
  # the video's tests: ffprobe and ffmpeg read it back, tesseract reads its captions, WebKit
  # plays it through GStreamer (the MP4 demuxer, the H.264 parser and decoder)
  ffmpeg tesseract-ocr tesseract-ocr-eng
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  # the package: made by cpack, dependencies by dpkg-shlibdeps, checked by lintian and appstream
  dpkg-dev lintian appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages are present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
