// The preview window's load of one file (loadPreviewImage, run on the window's thread pool), in a
// process of its own so that /usr/bin/time reports its wall time and peak memory alone:
//
//     preview_bench FILE
//
// Prints the picture's size, or "null" when the preview would show its not-found text.
#include "HelperPeak.h"
#include "PreviewImageLoader.h"

#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    benchsupport::reportHelperPeakAtExit();
    const QImage image = pravix::loadPreviewImage(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::puts("null");
    } else {
        std::printf("%dx%d\n", image.width(), image.height());
    }
    return 0;
}
