#!/usr/bin/env bash
# Writes the image corpus of the codec tests into DIR: the same pictures in
# many variants, each made by ImageMagick or netpbm, never by our code.
# Small pictures keep it to a few seconds.
set -euo pipefail
out=${1:?usage: make_corpus.sh DIR}
mkdir -p "$out"
cd "$out"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=$(command -v convert-im6.q16)

# Bases: a colourful gradient with noise, and one with few colours.
$IM -size 67x53 gradient:red-blue -seed 7 -attenuate 0.6 +noise Gaussian -depth 8 base.ppm
$IM -size 67x53 pattern:checkerboard -fill '#ffcc00' -draw 'circle 30,25 30,5' -colors 12 -depth 8 few.ppm
$IM -size 1x1 xc:"#123456" -depth 8 one.ppm
$IM -size 17x9 gradient:green-white -depth 8 odd.ppm

# PNG
pnmtopng base.ppm > png_rgb8.png
pnmtopng -interlace base.ppm > png_rgb8_interlaced.png
$IM base.ppm -depth 16 PNG48:png_rgb16.png
$IM base.ppm -alpha set -channel A -evaluate set 60% +channel -depth 8 PNG32:png_rgba8.png
$IM base.ppm -alpha set -channel A -fx 'i/w' +channel -depth 16 PNG64:png_rgba16.png
$IM few.ppm PNG8:png_palette.png
pnmtopng -transparent '#ffcc00' few.ppm > png_palette_trns.png
for d in 1 2 4 8 16; do
  ppmtopgm base.ppm | pnmdepth $(( (1 << d) - 1 )) | pnmtopng > png_gray$d.png
done
$IM -size 16x16 gradient:black-white -depth 8 pgm:- | pnmtopng -transparent '=#888888' > png_gray_trns.png
$IM base.ppm -colorspace gray -alpha set -channel A -fx 'j/h' +channel PNG:png_grayalpha.png
pnmtopng one.ppm > png_1x1.png
pnmtopng -interlace odd.ppm > png_odd_interlaced.png

# JPEG
$IM base.ppm -quality 85 jpeg_baseline.jpg
$IM base.ppm -interlace Plane -quality 80 jpeg_progressive.jpg
$IM base.ppm -colorspace gray jpeg_gray.jpg
$IM base.ppm -sampling-factor 1x1 jpeg_444.jpg
$IM base.ppm -sampling-factor 2x1 jpeg_422.jpg
$IM base.ppm -define jpeg:restart-interval=1 jpeg_restart.jpg
$IM base.ppm -colorspace CMYK jpeg_cmyk.jpg
$IM odd.ppm -quality 95 jpeg_odd.jpg
$IM one.ppm jpeg_1x1.jpg

# BMP
ppmtobmp -quiet -bpp 24 base.ppm > bmp_24.bmp
ppmtobmp -quiet -bpp 24 odd.ppm > bmp_24_odd.bmp
ppmtobmp -quiet -bpp 8 few.ppm > bmp_8.bmp
ppmtobmp -quiet -bpp 4 few.ppm > bmp_4.bmp
ppmtopgm few.ppm | pgmtopbm -threshold | ppmtobmp -quiet -bpp 1 > bmp_1.bmp
$IM few.ppm -type palette -compress RLE BMP3:bmp_rle8.bmp
$IM base.ppm -colors 200 -compress RLE BMP3:bmp_rle8_many.bmp

# GIF
$IM few.ppm gif_few.gif
$IM base.ppm -colors 256 gif_256.gif
$IM base.ppm -colors 64 -interlace GIF gif_interlaced.gif
$IM -size 20x10 xc:red -fill blue -draw 'rectangle 0,0 9,9' -transparent blue gif_transparent.gif
$IM odd.ppm -colors 2 gif_2colours.gif

# IFF ILBM
ppmtoilbm -compress few.ppm > ilbm_few.iff 2>/dev/null
ppmtoilbm -nocompress few.ppm > ilbm_few_raw.iff 2>/dev/null
ppmtoilbm -24force base.ppm > ilbm_24.iff 2>/dev/null
ppmtoilbm -24force -nocompress odd.ppm > ilbm_24_raw.iff 2>/dev/null
ppmtoilbm -hamforce base.ppm > ilbm_ham6.iff 2>/dev/null
ppmtoilbm -hamforce -hamplanes 8 base.ppm > ilbm_ham8.iff 2>/dev/null
$IM base.ppm -colors 200 ppm:- | ppmtoilbm -compress > ilbm_8.iff 2>/dev/null
ppmtopgm few.ppm | pgmtopbm -threshold > mask.pbm
ppmtoilbm -maskfile mask.pbm few.ppm > ilbm_maskplane.iff 2>/dev/null
ppmtoilbm -compress odd.ppm > ilbm_odd.iff 2>/dev/null

# Expected pixels for ILBM and BMP, from netpbm and ImageMagick decoders.
for f in ilbm_*.iff; do ilbmtoppm "$f" > "${f%.iff}.ref.ppm" 2>/dev/null || rm -f "${f%.iff}.ref.ppm"; done
for f in bmp_*.bmp; do bmptopnm "$f" > "${f%.bmp}.ref.ppm" 2>/dev/null || rm -f "${f%.bmp}.ref.ppm"; done
touch corpus.stamp
