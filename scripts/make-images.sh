#!/usr/bin/env bash
# Draws the tool bar strip (13 images of 39 x 24, bitmap 131) and the program
# icon with ImageMagick. The results are committed; run this after changing it.
# Gray C0C0C0 is the button face: the tool bar maps it to the system colour.
set -euo pipefail
out=$(cd "$(dirname "$0")/../resources" && pwd)

cell() { echo $(( $1 * 39 + $2 )); }  # x of offset $2 inside image $1

draw=()
add() { draw+=(-draw "$1"); }

# 0 date and time: a calendar sheet
x=$(cell 0 10); add "fill white stroke black rectangle $x,3 $((x+18)),21"
add "fill #C00000 stroke black rectangle $x,3 $((x+18)),7"
for r in 10 14 18; do add "stroke #404040 line $((x+3)),$r $((x+15)),$r"; done
# 1 title: a screen with a title strip
x=$(cell 1 8); add "fill #2050A0 stroke black rectangle $x,4 $((x+22)),19"
add "fill white stroke none rectangle $((x+4)),14 $((x+18)),17"
# 2 title display: four panes, each with its strip
x=$(cell 2 8); add "fill #2050A0 stroke black rectangle $x,4 $((x+22)),19"
add "stroke black line $((x+11)),4 $((x+11)),19"; add "stroke black line $x,11 $((x+22)),11"
for px in 2 13; do for py in 8 15; do add "fill white stroke none rectangle $((x+px)),$py $((x+px+7)),$((py+2))"; done; done
# 3 auto sequence: a circular arrow
x=$(cell 3 19); add "fill none stroke #006000 stroke-width 3 arc $((x-8)),4 $((x+8)),20 30,300"
add "fill #006000 stroke none polygon $((x+4)),2 $((x+11)),6 $((x+4)),10"
# 4 alarm: a bell
x=$(cell 4 19); add "fill #E0B000 stroke black path 'M $((x-7)),17 Q $((x-7)),4 $x,4 Q $((x+7)),4 $((x+7)),17 Z'"
add "fill #E0B000 stroke black rectangle $((x-9)),17 $((x+9)),19"; add "fill black circle $x,21 $((x+1)),21"
# 5 aspect ratio: 4:3 beside wide
x=$(cell 5 4); add "fill white stroke black rectangle $x,6 $((x+12)),15"
add "fill white stroke black rectangle $((x+16)),8 $((x+31)),16"
# 6 video adjust: a sun
x=$(cell 6 19); add "fill #F0C000 stroke black circle $x,12 $((x+5)),12"
for d in "0 -9 0 -7" "0 7 0 9" "-9 0 -7 0" "7 0 9 0" "-6 -6 -5 -5" "5 5 6 6" "-6 6 -5 5" "5 -5 6 -6"; do
  set -- $d; add "stroke black line $((x+$1)),$((12+$2)) $((x+$3)),$((12+$4))"; done
# 7 screen: a monitor on its stand
x=$(cell 7 8); add "fill #80B0E0 stroke black rectangle $x,3 $((x+22)),17"
add "fill #606060 stroke black rectangle $((x+8)),18 $((x+14)),21"
# 8 other: a gear
x=$(cell 8 19); add "fill #707070 stroke black circle $x,12 $((x+8)),12"
add "fill #C0C0C0 stroke black circle $x,12 $((x+3)),12"
for d in "-1 -11 1 -8" "-1 8 1 11" "-11 -1 -8 1" "8 -1 11 1"; do
  set -- $d; add "fill #707070 stroke none rectangle $((x+$1)),$((12+$2)) $((x+$3)),$((12+$4))"; done
# 9 division layout: a 3 x 3 grid
x=$(cell 9 8); add "fill #80B0E0 stroke black rectangle $x,3 $((x+21)),20"
for v in 7 14; do add "stroke black line $((x+v)),3 $((x+v)),20"; done
for h in 9 14; do add "stroke black line $x,$h $((x+21)),$h"; done
# 10 video loss: a dark screen crossed out
x=$(cell 10 8); add "fill #303030 stroke black rectangle $x,3 $((x+22)),19"
add "stroke #E00000 stroke-width 3 line $((x+5)),6 $((x+17)),16"; add "stroke #E00000 stroke-width 3 line $((x+17)),6 $((x+5)),16"
# 11 video loss history: a list with a red cross
x=$(cell 11 6); add "fill white stroke black rectangle $x,2 $((x+18)),21"
for r in 6 10 14 18; do add "stroke #404040 line $((x+3)),$r $((x+11)),$r"; done
add "stroke #E00000 stroke-width 2 line $((x+19)),12 $((x+27)),20"; add "stroke #E00000 stroke-width 2 line $((x+27)),12 $((x+19)),20"
# 12 alarm history: a list with a bell
x=$(cell 12 6); add "fill white stroke black rectangle $x,2 $((x+18)),21"
for r in 6 10 14 18; do add "stroke #404040 line $((x+3)),$r $((x+11)),$r"; done
add "fill #E0B000 stroke black path 'M $((x+19)),20 Q $((x+19)),11 $((x+23)),11 Q $((x+27)),11 $((x+27)),20 Z'"

convert -size 507x24 xc:'#C0C0C0' "${draw[@]}" -type TrueColor BMP3:"$out/toolbar.bmp"

# The icon: a monitor showing a 2 x 2 division, at 32 and 16 pixels.
convert -size 32x32 xc:none \
  -draw "fill #404040 stroke black rectangle 1,3 30,24" -draw "fill #80B0E0 stroke none rectangle 3,5 28,22" \
  -draw "stroke #202020 line 15,5 15,22" -draw "stroke #202020 line 3,13 28,13" \
  -draw "fill #606060 stroke black rectangle 11,25 20,29" "$out/icon32.png"
convert "$out/icon32.png" -resize 16x16 "$out/icon16.png"
convert "$out/icon16.png" "$out/icon32.png" "$out/kelvrix.ico"
rm -f "$out/icon16.png" "$out/icon32.png"
