#!/bin/sh
# Builds a contact sheet of the generated pictures, scaled four times, for looking at by eye.
# Usage: contact_sheet.sh ASSET_DIR OUT.png   (needs imagemagick's convert and montage)
set -eu
src=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

row() {  # row NAME FILE...: one strip of pictures on a silver ground
  name=$1
  shift
  n=0
  for f in "$@"; do
    n=$((n + 1))
    convert "$src/$f" -background '#c0c0c0' -flatten -scale 400% "$work/$name-$(printf %02d $n).png"
  done
  montage "$work/$name"-*.png -tile "${n}x1" -geometry +6+6 -background '#808080' "$work/row-$name.png"
}

row a tray/static.png tray/busy01.png tray/busy02.png tray/busy03.png tray/busy04.png \
      tray/busy05.png tray/busy06.png tray/busy07.png tray/busy08.png tray/busy09.png \
      tray/busy10.png tray/busy11.png tray/busy12.png tray/busy13.png
row b askchat/face_closed.png askchat/face_open.png askchat/face_wide.png chat/user.png \
      chat/fecharuser.png menu/glyphs.png
row c app/telephone.png askchat/hello.png chat/sair.png chat/emchat.png chat/desconectar.png \
      config/note.png config/jester.png
row d about/frame1.png about/frame2.png about/frame3.png about/frame4.png
row e config/menu_band.png config/menu_plain.png
row f config/desktop.png
convert "$src/chat/BACKGROUND.png" -scale 200% "$work/row-g.png"
convert "$work"/row-*.png -background '#808080' -gravity west -append +repage "$out"
