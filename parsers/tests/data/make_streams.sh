set -e
S="-f lavfi -i testsrc=size=128x96:rate=25 -pix_fmt yuv420p"
ffmpeg -v error -y $S -frames:v 12 -c:v libx264 -profile:v baseline -x264-params keyint=6:scenecut=0 -f h264 baseline.h264
ffmpeg -v error -y $S -frames:v 16 -c:v libx264 -profile:v main -bf 3 -x264-params b-pyramid=normal:keyint=16:scenecut=0:b-adapt=0 -f h264 main_bpyramid.h264
ffmpeg -v error -y $S -frames:v 10 -c:v libx264 -profile:v high -bf 2 -x264-params 8x8dct=1:cqm=jvt:keyint=10:b-adapt=0 -f h264 high_cqm.h264
ffmpeg -v error -y $S -frames:v 8 -c:v libx264 -profile:v main -bf 1 -x264-params slices=4:keyint=8:b-adapt=0 -f h264 slices4.h264
ffmpeg -v error -y -f lavfi -i "testsrc=size=128x96:rate=25,fade=in:0:12" -pix_fmt yuv420p -frames:v 12 -c:v libx264 -profile:v high -refs 4 -bf 2 -x264-params weightp=2:weightb=1:keyint=12:scenecut=0 -f h264 refs_weighted.h264
ffmpeg -v error -y $S -frames:v 12 -c:v libx264 -profile:v main -bf 2 -x264-params keyint=5:min-keyint=5:scenecut=0:open-gop=0:b-adapt=0 -f h264 multi_idr.h264
ffmpeg -v error -y -f lavfi -i testsrc=size=1920x1080:rate=25 -pix_fmt yuv420p -frames:v 3 -c:v libx264 -profile:v high -crf 51 -preset ultrafast -f h264 crop1080.h264
ffmpeg -v error -y $S -frames:v 6 -c:v libx264 -profile:v high -flags +ildct+ilme -x264-params interlaced=1 -f h264 interlaced.h264
ffmpeg -v error -y -f lavfi -i testsrc=size=128x96:rate=25 -pix_fmt yuv422p10le -frames:v 4 -c:v libx264 -profile:v high422 -f h264 high422_10bit.h264
ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -pix_fmt yuv420p -frames:v 4 -c:v libx264 -profile:v main -x264-params keyint=1 -f h264 intra_only.h264
ffmpeg -v error -y -f lavfi -i "testsrc=size=128x96:rate=25,fade=in:0:12" -pix_fmt yuv420p -frames:v 12 -c:v libx264 -profile:v main -refs 4 -bf 2 -x264-params weightp=2:weightb=1:keyint=12:scenecut=0 -f h264 main_weighted.h264
C="-f lavfi -i testsrc=size=350x286:rate=25"
ffmpeg -v error -y $C -pix_fmt yuv444p -frames:v 1 -c:v libx264 -profile:v high444 -crf 51 -preset ultrafast -f h264 crop444.h264
ffmpeg -v error -y $C -pix_fmt yuv422p -frames:v 1 -c:v libx264 -profile:v high422 -crf 51 -preset ultrafast -f h264 crop422.h264
ffmpeg -v error -y -f lavfi -i testsrc=size=1920x1080:rate=25 -pix_fmt yuv420p -frames:v 2 -c:v libx264 -profile:v high -crf 51 -preset ultrafast -flags +ildct+ilme -x264-params interlaced=1 -f h264 crop1080i.h264
