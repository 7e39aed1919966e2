#!/bin/sh
# Draws the node, tool button and program pictures (ImageMagick). The PNGs
# are kept in git; run this again only to change a picture.
set -e
cd "$(dirname "$0")"
S="-size 16x16 xc:none"

# 0 host computer: monitor on a stand
convert $S -fill '#3a5f8f' -stroke '#1d3557' -draw 'roundrectangle 1,1 14,10 1,1' \
  -fill '#a8dadc' -stroke none -draw 'rectangle 3,3 12,8' \
  -fill '#555555' -draw 'rectangle 6,11 9,12' -draw 'rectangle 3,13 12,14' tree0.png
# 1 product: a server cabinet
convert $S -fill '#6c757d' -stroke '#343a40' -draw 'rectangle 3,0 12,15' \
  -fill '#dee2e6' -stroke none -draw 'rectangle 5,2 10,4' -draw 'rectangle 5,6 10,8' -draw 'rectangle 5,10 10,12' \
  -fill '#2ecc71' -draw 'point 11,3' -draw 'point 11,7' -draw 'point 11,11' tree1.png
# 2 network address: three linked nodes
convert $S -stroke '#1d3557' -strokewidth 1.5 -draw 'line 8,4 3,12' -draw 'line 8,4 13,12' -draw 'line 3,12 13,12' \
  -fill '#457b9d' -stroke '#1d3557' -strokewidth 1 -draw 'circle 8,4 8,1' -draw 'circle 3,12 3,9' -draw 'circle 13,12 13,9' tree2.png
# 3 named host: a name tag
convert $S -fill '#f4a261' -stroke '#9c4a1a' -draw 'polygon 1,4 10,4 15,8 10,12 1,12' \
  -fill '#ffffff' -stroke none -draw 'circle 11,8 11,7' -fill '#9c4a1a' -draw 'rectangle 3,7 7,9' tree3.png
# 4 generic module: a grey chip
convert $S -fill '#adb5bd' -stroke '#495057' -draw 'rectangle 3,3 12,12' \
  -stroke '#495057' -draw 'line 5,0 5,2' -draw 'line 10,0 10,2' -draw 'line 5,13 5,15' -draw 'line 10,13 10,15' tree4.png
# 5 digital I/O: green chip with a square wave
convert $S -fill '#2a9d8f' -stroke '#1b5e57' -draw 'rectangle 2,2 13,13' \
  -stroke '#ffffff' -fill none -draw 'polyline 3,10 5,10 5,5 8,5 8,10 10,10 10,5 12,5' tree5.png
# 6 analog I/O: purple chip with a sine
convert $S -fill '#7b2cbf' -stroke '#3c096c' -draw 'rectangle 2,2 13,13' \
  -stroke '#ffffff' -fill none -draw 'bezier 3,8 5,3 6,3 8,8' -draw 'bezier 8,8 10,13 11,13 13,8' tree6.png
# 7 temperature: thermometer
convert $S -fill '#ffffff' -stroke '#6c757d' -draw 'roundrectangle 6,0 10,11 2,2' \
  -fill '#e63946' -stroke '#9d0208' -draw 'circle 8,12 8,15' -stroke none -draw 'rectangle 7,5 9,11' tree7.png

S20="-size 20x20 xc:none"
# auto search: magnifier over a network
convert $S20 -fill none -stroke '#1d3557' -strokewidth 2.5 -draw 'circle 8,8 8,2' \
  -strokewidth 3.5 -stroke '#9c6644' -draw 'line 12,12 18,18' \
  -fill '#a8dadc' -stroke none -draw 'circle 8,8 8,4' search.png
# sort by connection: two address groups, stacked lines with dots
convert $S20 -fill '#457b9d' -stroke '#1d3557' -draw 'circle 4,4 4,1' -draw 'circle 4,14 4,11' \
  -stroke '#1d3557' -strokewidth 2 -draw 'line 9,4 18,4' -draw 'line 11,8 18,8' -draw 'line 9,14 18,14' -draw 'line 11,18 18,18' sortcon.png
# sort by server: chips stacked with lines
convert $S20 -fill '#2a9d8f' -stroke '#1b5e57' -draw 'rectangle 1,1 7,7' -draw 'rectangle 1,11 7,17' \
  -stroke '#1b5e57' -strokewidth 2 -draw 'line 10,4 18,4' -draw 'line 12,8 18,8' -draw 'line 10,14 18,14' -draw 'line 12,18 18,18' sortserver.png
# refresh: circular arrow
convert -size 16x16 xc:none -fill none -stroke '#2a9d8f' -strokewidth 2 -draw 'arc 2,2 13,13 40,330' \
  -fill '#2a9d8f' -stroke none -draw 'polygon 10,1 15,6 9,7' refresh.png
# menu pictures
convert -size 16x16 xc:none -fill '#ffffff' -stroke '#6c757d' -draw 'rectangle 2,1 11,14' \
  -stroke '#e63946' -strokewidth 2 -draw 'line 8,8 15,8' -fill '#e63946' -stroke none -draw 'polygon 15,8 12,5 12,11' exit.png
convert -size 16x16 xc:none -fill '#457b9d' -stroke '#1d3557' -draw 'circle 8,8 8,1' \
  -fill '#ffffff' -stroke none -draw 'rectangle 7,7 9,12' -draw 'rectangle 7,3 9,5' about.png
convert -size 16x16 xc:none -fill '#f1faee' -stroke '#1d3557' -draw 'polygon 1,2 8,4 15,2 15,14 8,15 1,14' \
  -stroke '#1d3557' -draw 'line 8,4 8,15' -stroke '#457b9d' -draw 'line 3,6 6,7' -draw 'line 10,7 13,6' -draw 'line 3,9 6,10' -draw 'line 10,10 13,9' help.png
convert -size 16x16 xc:none -fill '#e63946' -stroke '#9d0208' -draw 'rectangle 3,4 12,15' -draw 'rectangle 1,2 14,3' -draw 'rectangle 6,0 9,1' delete.png
convert -size 16x16 xc:none -fill '#2a9d8f' -stroke none -draw 'rectangle 6,1 9,14' -draw 'rectangle 1,6 14,9' add.png
convert -size 16x16 xc:none -fill none -stroke '#f4a261' -strokewidth 2 -draw 'arc 2,2 13,13 300,240' -draw 'line 8,0 8,7' restart.png
convert -size 16x16 xc:none -fill '#6c757d' -stroke '#343a40' -draw 'circle 8,8 8,2' -fill '#f8f9fa' -draw 'circle 8,8 8,5' reset.png
# toolbar background: soft vertical gradient
convert -size 8x40 gradient:'#f8f9fa-#d9dee4' toolbar.png
# program icon: blue rounded square with two lanes
convert -size 64x64 xc:none -fill '#1d3557' -draw 'roundrectangle 2,2 61,61 12,12' \
  -fill '#a8dadc' -draw 'rectangle 12,18 52,26' -draw 'rectangle 12,38 52,46' \
  -fill '#2ecc71' -draw 'circle 46,22 46,19' -fill '#f4a261' -draw 'circle 18,42 18,39' app.png

{
  echo '<RCC>'
  echo '  <qresource prefix="/icons">'
  for f in *.png; do echo "    <file>$f</file>"; done
  echo '  </qresource>'
  echo '</RCC>'
} > icons.qrc
