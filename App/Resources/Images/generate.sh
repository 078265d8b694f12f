#!/bin/sh
# Regenerates the app's images: the QR code that leads to the setup help pages, and the help
# button's image. Needs qrencode and ImageMagick (scripts/bootstrap.sh installs both).
set -eu
cd "$(dirname "$0")"
help_address="https://help.example.org/ntfs-setup"

qrencode --type=PNG --size=6 --margin=2 --level=M --output=qrcode.png "$help_address"

convert -size 64x64 xc:none \
  -fill '#2f7de1' -draw 'circle 31.5,31.5 31.5,1.5' \
  -fill white -font DejaVu-Sans-Bold -pointsize 40 -gravity center -annotate +0+1 '?' \
  -strip -define png:exclude-chunks=date,time help.png
